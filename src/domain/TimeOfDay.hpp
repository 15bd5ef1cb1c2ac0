#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "domain/Clock.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

inline constexpr int SECONDS_IN_A_DAY = 86400;

// A wall-clock time within one day. The constructor does not validate; decode and
// fromSecondsOfDay bound the values.
struct TimeOfDay {
  int h = 0;
  int m = 0;
  int s = 0;

  // The HTTP attribute map; the stored form is the text. Defined first: its deduced type
  // must be known where the members below compare values.
  static constexpr auto fields() {
    return std::tuple{field("h", &TimeOfDay::h), field("m", &TimeOfDay::m),
                      field("s", &TimeOfDay::s)};
  }

  static TimeOfDay fromTimeStruct(const ClockValue& t) noexcept;
  // Any number of seconds, folded into one day (86400 is midnight, -1 is 23:59:59).
  static TimeOfDay fromSecondsOfDay(long long seconds) noexcept;
  // Accepts "8:5", "08:05:30", " 07:45"; throws std::invalid_argument for a value out of range
  // or a piece that is not a number, std::out_of_range when the minute is missing.
  static TimeOfDay decode(std::string_view text);

  long long toSecondsOfDay() const noexcept;
  // Wraps round midnight: 00:03 minus 5 minutes is 23:58.
  TimeOfDay minusMinutes(long long minutes) const noexcept;
  // "08:05", or "08:05:30" when the second is not zero.
  std::string asString() const;
  std::string encode() const { return asString(); }

  bool operator==(const TimeOfDay&) const = default;
  // The clock's seconds count: 08:00 does not equal a clock at 08:00:01.
  bool operator==(const ClockValue& clock) const noexcept { return *this == fromTimeStruct(clock); }
  // Ordered by seconds of the day.
  bool operator>(const TimeOfDay& other) const noexcept {
    return toSecondsOfDay() > other.toSecondsOfDay();
  }
  bool operator<(const TimeOfDay& other) const noexcept { return other > *this; }
  bool operator>(const ClockValue& clock) const noexcept { return *this > fromTimeStruct(clock); }
  bool operator<(const ClockValue& clock) const noexcept { return fromTimeStruct(clock) > *this; }
};

std::size_t hashValue(const TimeOfDay& t) noexcept;

}  // namespace veltrano

template <>
struct std::hash<veltrano::TimeOfDay> {
  std::size_t operator()(const veltrano::TimeOfDay& t) const noexcept {
    return veltrano::hashValue(t);
  }
};
