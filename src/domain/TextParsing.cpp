#include "domain/TextParsing.hpp"

#include <charconv>
#include <stdexcept>
#include <string>

namespace veltrano::detail {

namespace {

bool isSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view text) noexcept {
  while (!text.empty() && isSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back()))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t begin = 0;
  for (;;) {
    std::size_t at = text.find(separator, begin);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(begin));
      return pieces;
    }
    pieces.push_back(text.substr(begin, at - begin));
    begin = at + 1;
  }
}

int parseDecimal(std::string_view piece) {
  std::string_view digits = trim(piece);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  // from_chars alone would accept a sign after ours ("+-5") or stop early ("5x").
  int value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || digits.front() < '0' || digits.front() > '9' || error != std::errc{} ||
      end != digits.data() + digits.size()) {
    throw std::invalid_argument("Not a whole number: '" + std::string(piece) + "'");
  }
  return negative ? -value : value;
}

}  // namespace veltrano::detail
