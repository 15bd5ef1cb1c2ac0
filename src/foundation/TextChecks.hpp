#pragma once

#include <cstddef>
#include <string_view>

#include "foundation/Utf8.hpp"

namespace veltrano {

// Deep enough for every body the dashboard sends; a shallow bound keeps recursive copies and
// dumps of a parsed value far from the stack's end.
inline constexpr std::size_t MAX_JSON_DEPTH = 32;

// True when no array or object in the JSON text nests deeper than maxDepth. Scans without
// recursion and without parsing, so it is safe on any input, valid JSON or not.
bool jsonNestingWithin(std::string_view text, std::size_t maxDepth) noexcept;

}  // namespace veltrano
