#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "domain/Clock.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// A calendar day of the proleptic Gregorian calendar. The constructor does not validate;
// decode does.
struct Date {
  int y = 1900;
  int m = 1;
  int d = 1;

  // The HTTP attribute map; the stored form is the text. Defined first: its deduced type
  // must be known where the members below compare values.
  static constexpr auto fields() {
    return std::tuple{field("y", &Date::y), field("m", &Date::m), field("d", &Date::d)};
  }

  static Date fromTimeStruct(const ClockValue& tm) noexcept;
  // Year-month-day with "-" ("2026-3-9" is accepted). Throws std::invalid_argument with
  // "Invalid date format" unless there are exactly three pieces, and for a day that does not
  // exist (2023-02-29) or a piece that is not a number.
  static Date decode(std::string_view text);
  // Inverse of toDayNumber.
  static Date fromDayNumber(long long dayNumber) noexcept;

  // Day 1 is 0001-01-01; consecutive days have consecutive numbers across months and years.
  long long toDayNumber() const noexcept;
  Date plusDays(long long days) const noexcept { return fromDayNumber(toDayNumber() + days); }
  // 0 = Monday .. 6 = Sunday.
  int weekday() const noexcept;
  // start <= this <= end by calendar day; false for every day when start is after end.
  bool isBetween(const Date& start, const Date& end) const noexcept;
  // "2026-03-09"; the year has at least four digits ("0999-01-01").
  std::string asString() const;
  std::string encode() const { return asString(); }

  bool operator==(const Date&) const = default;
  bool operator==(const ClockValue& clock) const noexcept { return *this == fromTimeStruct(clock); }
};

bool isLeapYear(int year) noexcept;
// Days of the month, 0 for a month outside 1..12.
int daysInMonth(int year, int month) noexcept;
// The ISO 8601 week (1..53): weeks start on Monday, week 1 holds the year's first Thursday.
int isoWeekNumber(const Date& date) noexcept;

std::size_t hashValue(const Date& date) noexcept;

}  // namespace veltrano

template <>
struct std::hash<veltrano::Date> {
  std::size_t operator()(const veltrano::Date& d) const noexcept { return veltrano::hashValue(d); }
};
