#pragma once

#include <vector>

#include "domain/Clock.hpp"
#include "domain/Date.hpp"
#include "foundation/Json.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// One cell of the month view.
struct PaddedDate {
  Date date;
  // False for the filler days of the neighbouring months.
  bool isGivenMonth = false;

  bool operator==(const PaddedDate&) const = default;
};

// Whole Monday-to-Sunday weeks covering the month `offset` months from the month of now
// (28, 35 or 42 days). Throws std::invalid_argument when that month lies outside the years
// 1..9999.
std::vector<PaddedDate> generatePaddedCalendarDates(const ClockValue& now, long long offset);

// The month view: {"year", "month", "defaultTimetableId", "days": [{"id", "day", "typeOfDay",
// "isToday", "isGivenMonth"}, ...]} in this member order. Today's day shows the timetable
// chosen by hand, if any. Caller holds the store lock.
Json getCalendarInfoForMonth(const DB& db, const Cache& cache, const ClockValue& now,
                             long long offset = 0);

}  // namespace veltrano
