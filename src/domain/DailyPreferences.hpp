#pragma once

#include <optional>
#include <string>
#include <tuple>

#include "domain/Clock.hpp"
#include "domain/Date.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// The user's choices that hold for the current day only.
struct DailyPreferences {
  // Timetable chosen by hand for today; it wins over the calendar.
  std::optional<std::string> selectedTimetableId;
  // Day number (Date::toDayNumber) of the day the choice belongs to; -1 before the first day.
  int lastDay = -1;

  static constexpr auto fields() {
    return std::tuple{field("selectedTimetableId", &DailyPreferences::selectedTimetableId),
                      field("_lastDay", &DailyPreferences::lastDay)};
  }

  // Drops the choice when today is another day than the one it was made for. The whole date
  // counts: a choice must not come back on the same day of the year a year later.
  void resetOnNewDay(const Date& today) noexcept;
  void resetOnNewDay(const ClockValue& now) noexcept { resetOnNewDay(Date::fromTimeStruct(now)); }
  // A day of the year repeats every year; pass the clock value or the date instead.
  void resetOnNewDay(int dayOfYear) = delete;
};

}  // namespace veltrano
