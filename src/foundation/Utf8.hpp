#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrano {

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates or values above
// U+10FFFF. A stored invalid byte would break every later JSON answer.
bool isValidUtf8(std::string_view text) noexcept;

// Characters (code points) of valid UTF-8 text.
std::size_t utf8Length(std::string_view validText) noexcept;

// The first maxCharacters characters of valid UTF-8 text, never cutting one in half.
std::string truncateUtf8(std::string_view validText, std::size_t maxCharacters);

}  // namespace veltrano
