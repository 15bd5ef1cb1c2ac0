#include "domain/TimeOfDay.hpp"

#include <cstdio>
#include <stdexcept>

#include "domain/TextParsing.hpp"
#include "domain/ValueHash.hpp"

namespace veltrano {

namespace {

int decodePart(std::string_view piece, int max, std::string_view text) {
  int value = detail::parseDecimal(piece);
  if (value < 0 || value > max) {
    throw std::invalid_argument("Invalid time of day: '" + std::string(text) + "'");
  }
  return value;
}

}  // namespace

TimeOfDay TimeOfDay::fromTimeStruct(const ClockValue& t) noexcept {
  return TimeOfDay{t.tm_hour, t.tm_min, t.tm_sec};
}

TimeOfDay TimeOfDay::fromSecondsOfDay(long long seconds) noexcept {
  seconds %= SECONDS_IN_A_DAY;
  if (seconds < 0)
    seconds += SECONDS_IN_A_DAY;
  int rest = static_cast<int>(seconds);
  return TimeOfDay{rest / 3600, rest % 3600 / 60, rest % 60};
}

TimeOfDay TimeOfDay::decode(std::string_view text) {
  auto pieces = detail::splitAt(text, ':');
  TimeOfDay result;
  result.h = decodePart(pieces[0], 23, text);
  if (pieces.size() < 2) {
    throw std::out_of_range("Invalid time of day: '" + std::string(text) + "'");
  }
  result.m = decodePart(pieces[1], 59, text);
  if (pieces.size() >= 3)
    result.s = decodePart(pieces[2], 59, text);
  return result;
}

long long TimeOfDay::toSecondsOfDay() const noexcept {
  return static_cast<long long>(h) * 3600 + static_cast<long long>(m) * 60 + s;
}

TimeOfDay TimeOfDay::minusMinutes(long long minutes) const noexcept {
  return fromSecondsOfDay(toSecondsOfDay() - minutes * 60);
}

std::string TimeOfDay::asString() const {
  char buffer[48];
  if (s > 0) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, m, s);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", h, m);
  }
  return buffer;
}

std::size_t hashValue(const TimeOfDay& t) noexcept {
  return detail::hashInts({t.h, t.m, t.s});
}

}  // namespace veltrano
