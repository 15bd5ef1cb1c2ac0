#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace veltrano {

// Broken-down local time as the bell logic sees it.
struct ClockValue {
  int tm_year = 1970;  // full year
  int tm_mon = 1;      // 1..12
  int tm_mday = 1;
  int tm_hour = 0;
  int tm_min = 0;
  int tm_sec = 0;
  int tm_wday = 3;  // 0 = Monday .. 6 = Sunday
  int tm_yday = 1;  // 1..366

  bool operator==(const ClockValue&) const = default;
};

// Where "now" comes from; tests substitute their own.
using TimeSource = std::function<ClockValue()>;

// The local time of the system clock, to the second.
ClockValue readLocalTime();

// Converts epoch seconds to local broken-down time.
ClockValue clockValueFromEpoch(long long epochSeconds);

// The zone the local time is in: its name as the system gives it ("CET") and its current
// distance from UTC.
struct TimeZone {
  std::string name;
  int utcOffsetSec = 0;
};
TimeZone localTimeZone();

// The C library's form of a clock value (years since 1900, months from 0, Sunday = 0).
std::tm toTm(const ClockValue& value) noexcept;

// The shared clock: one writer (the scheduler) refreshes it, any thread reads it, and a
// reader always sees one complete reading.
class Clock {
 public:
  explicit Clock(TimeSource source = readLocalTime);

  // Takes a fresh reading from the time source and publishes it.
  ClockValue updateClock();
  // The last published reading, without a new one.
  ClockValue getClock() const noexcept;
  // strftime-style text of the last reading ("%H:%M:%S" by default).
  std::string getTimeString(std::string_view format = "%H:%M:%S") const;
  // Year-month-day of the last reading, e.g. 2026-03-09.
  std::string getDateString() const;

 private:
  TimeSource source_;
  // Replaced whole on every update; readers copy the pointer atomically.
  std::shared_ptr<const ClockValue> now_;
};

}  // namespace veltrano
