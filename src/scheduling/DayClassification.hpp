#pragma once

#include <string>
#include <string_view>

#include "domain/Clock.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// What kind of day a date is. Exchanged as text; EXTRA_WORKDAY's text is "REPLACED_WORKDAY".
enum class TypeOfDay { WORKDAY, NON_WORKDAY, HOLIDAY, SCHOOL_BREAK, EXTRA_WORKDAY };

std::string_view toText(TypeOfDay type) noexcept;

// The kind of a day and the key of the timetable it uses ("NULL" for none).
struct DayTimetable {
  TypeOfDay typeOfDay = TypeOfDay::WORKDAY;
  std::string timetableId;

  bool operator==(const DayTimetable&) const = default;
};

// The region's holidays win over its extra working days, which win over its school breaks
// (only applied while both switches are on); without a matching entry the working week
// decides. dayOfWeek (0 = Monday) and dateStr ("2026-03-09") name the same day. Pure: the
// caller holds the store lock for the records passed.
TypeOfDay calculateTypeOfDayWithCalendar(const Settings& settings, const Cache& cache,
                                         int dayOfWeek, std::string_view dateStr);

// Single events first, then recurring events, each in stored order; otherwise working days
// use the default timetable and every other day none. The type returned is always the
// calendar's own, also when an event rings on a holiday. Throws std::invalid_argument for a
// malformed dateStr. Pure; the caller holds the store lock.
DayTimetable getTimetableForClock(const Settings& settings, const Cache& cache, int dayOfWeek,
                                  std::string_view dateStr);

// The day text of a clock value as the shared clock writes it (2026-03-09).
std::string dateStringOf(const ClockValue& now);

}  // namespace veltrano
