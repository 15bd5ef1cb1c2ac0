#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

bool isContinuation(unsigned char c) noexcept {
  return (c & 0xC0) == 0x80;
}

// Length of the well-formed sequence at text[at], 0 when it is not one.
std::size_t sequenceLength(std::string_view text, std::size_t at) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;  // overlong
    if (lead == 0xED)
      high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;  // overlong
    if (lead == 0xF4)
      high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length)
    return 0;
  if (byte(1) < low || byte(1) > high)
    return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!isContinuation(byte(i)))
      return 0;
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) noexcept {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t length = sequenceLength(text, at);
    if (length == 0)
      return false;
    at += length;
  }
  return true;
}

std::size_t utf8Length(std::string_view validText) noexcept {
  std::size_t count = 0;
  for (char c : validText) {
    if (!isContinuation(static_cast<unsigned char>(c)))
      ++count;
  }
  return count;
}

std::string truncateUtf8(std::string_view validText, std::size_t maxCharacters) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < validText.size(); ++at) {
    if (!isContinuation(static_cast<unsigned char>(validText[at])) && count++ == maxCharacters)
      return std::string(validText.substr(0, at));
  }
  return std::string(validText);
}

}  // namespace veltrano
