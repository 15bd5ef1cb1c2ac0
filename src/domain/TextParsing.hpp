#pragma once

#include <string_view>
#include <vector>

namespace veltrano::detail {

// Splits at every occurrence of the separator; empty pieces are kept, like Python's str.split.
std::vector<std::string_view> splitAt(std::string_view text, char separator);

// A decimal integer with optional sign and surrounding white space ("07", " 7", "+7").
// Throws std::invalid_argument for anything else, including values beyond int.
int parseDecimal(std::string_view piece);

}  // namespace veltrano::detail
