#include "scheduling/DayClassification.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "domain/Date.hpp"

namespace veltrano {
namespace {

bool listed(const std::vector<std::string>& days, std::string_view dateStr) {
  return std::find(days.begin(), days.end(), dateStr) != days.end();
}

}  // namespace

std::string_view toText(TypeOfDay type) noexcept {
  switch (type) {
    case TypeOfDay::WORKDAY:
      return "WORKDAY";
    case TypeOfDay::NON_WORKDAY:
      return "NON_WORKDAY";
    case TypeOfDay::HOLIDAY:
      return "HOLIDAY";
    case TypeOfDay::SCHOOL_BREAK:
      return "SCHOOL_BREAK";
    case TypeOfDay::EXTRA_WORKDAY:
      return "REPLACED_WORKDAY";
  }
  return "WORKDAY";
}

TypeOfDay calculateTypeOfDayWithCalendar(const Settings& settings, const Cache& cache,
                                         int dayOfWeek, std::string_view dateStr) {
  const CalendarSettings& calendar = settings.calendar;
  if (const CalendarRegion* region = cache.calendarRegions.find(calendar.syncRegionId)) {
    if (listed(region->holidays, dateStr))
      return TypeOfDay::HOLIDAY;
    if (listed(region->extraWorkdays, dateStr))
      return TypeOfDay::EXTRA_WORKDAY;
    if (region->provideHolidays && calendar.syncSchoolHolidays &&
        listed(region->schoolBreaks, dateStr)) {
      return TypeOfDay::SCHOOL_BREAK;
    }
  }
  const std::vector<int> workdays = calendar.getWorkdays();
  const bool isWorkday = std::find(workdays.begin(), workdays.end(), dayOfWeek) != workdays.end();
  return isWorkday ? TypeOfDay::WORKDAY : TypeOfDay::NON_WORKDAY;
}

DayTimetable getTimetableForClock(const Settings& settings, const Cache& cache, int dayOfWeek,
                                  std::string_view dateStr) {
  const TypeOfDay typeOfDay = calculateTypeOfDayWithCalendar(settings, cache, dayOfWeek, dateStr);
  const Date date = Date::decode(dateStr);
  const CalendarSettings& calendar = settings.calendar;
  for (const SingleCalendarEvent& event : calendar.singleEvents) {
    if (date.isBetween(event.start, event.end))
      return {typeOfDay, event.timeTableId};
  }
  for (const ReoccurringCalendarEvent& event : calendar.reoccurringEvents) {
    if (event.isActiveOnDate(date))
      return {typeOfDay, event.timeTableId};
  }
  if (typeOfDay == TypeOfDay::WORKDAY || typeOfDay == TypeOfDay::EXTRA_WORKDAY) {
    return {typeOfDay, settings.defaultTimetableId};
  }
  return {typeOfDay, "NULL"};
}

// Built by hand rather than with snprintf: the scheduler asks for it every second, and the
// formatted print was a tenth of an idle player's CPU time.
std::string dateStringOf(const ClockValue& now) {
  std::string text = std::to_string(now.tm_year);
  for (const int part : {now.tm_mon, now.tm_mday}) {
    text += '-';
    if (part >= 0 && part < 10)
      text += '0';
    text += std::to_string(part);
  }
  return text;
}

}  // namespace veltrano
