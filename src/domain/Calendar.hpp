#pragma once

#include <array>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "domain/Date.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// The working week. The values are not consecutive; they are stored and exchanged as they are.
enum class WorkdayMode : int {
  EVERY_DAY = 7,
  MON_TO_FRI = 15,
  MON_TO_SAT = 16,
  MON_TO_THU = 14,
  SUN_TO_THU = 25,
  SAT_TO_WED = 35,
};

constexpr std::array<WorkdayMode, 6> enumValues(WorkdayMode) {
  return {WorkdayMode::EVERY_DAY,  WorkdayMode::MON_TO_FRI, WorkdayMode::MON_TO_SAT,
          WorkdayMode::MON_TO_THU, WorkdayMode::SUN_TO_THU, WorkdayMode::SAT_TO_WED};
}

// One region's calendar as the remote service sends it; the lists hold day texts
// ("2026-03-09").
struct CalendarRegion {
  std::string name;
  WorkdayMode preferredWorkdayMode = WorkdayMode::EVERY_DAY;
  // Whether schoolBreaks may be applied at all.
  bool provideHolidays = true;
  std::string validUntil;
  std::vector<std::string> holidays;
  std::vector<std::string> schoolBreaks;
  std::vector<std::string> extraWorkdays;

  static constexpr auto fields() {
    return std::tuple{field("name", &CalendarRegion::name),
                      field("preferredWorkdayMode", &CalendarRegion::preferredWorkdayMode),
                      field("provideHolidays", &CalendarRegion::provideHolidays),
                      field("validUntil", &CalendarRegion::validUntil),
                      field("holidays", &CalendarRegion::holidays),
                      field("schoolBreaks", &CalendarRegion::schoolBreaks),
                      field("extraWorkdays", &CalendarRegion::extraWorkdays)};
  }
};

// Use a timetable from start to end, both days inclusive.
struct SingleCalendarEvent {
  std::string timeTableId;
  Date start;
  Date end;
  // What the days are ("Christmas break"); empty for events made before names existed.
  std::string name;
  // The URL of the subscribed calendar the event came from; empty for the user's own events.
  std::string feed;

  static constexpr auto fields() {
    return std::tuple{
        field("timeTableId", &SingleCalendarEvent::timeTableId),
        field("start", &SingleCalendarEvent::start), field("end", &SingleCalendarEvent::end),
        field("name", &SingleCalendarEvent::name), field("feed", &SingleCalendarEvent::feed)};
  }

  // Bad date texts throw; end before start is accepted and matches no day.
  static SingleCalendarEvent fromUserInput(std::string timeTableId, std::string_view start,
                                           std::string_view end);
};

// Use a timetable on some weekdays, every week or only in odd or even ISO weeks.
struct ReoccurringCalendarEvent {
  enum class Mode : int { EVERY_WEEK = 1, EVEN_WEEK = 2, ODD_WEEK = 3 };

  std::string timeTableId;
  Mode mode = Mode::EVERY_WEEK;
  // Bit n set: active on weekday n (0 = Monday .. 6 = Sunday).
  int days = 0;

  static constexpr auto fields() {
    return std::tuple{field("timeTableId", &ReoccurringCalendarEvent::timeTableId),
                      field("mode", &ReoccurringCalendarEvent::mode),
                      field("days", &ReoccurringCalendarEvent::days)};
  }

  // Throws std::invalid_argument for a mode that is not 1, 2 or 3; days are kept unchanged.
  static ReoccurringCalendarEvent fromUserInput(std::string timeTableId, int mode, int days);

  // dateStr is a strict ISO day ("2026-03-09"); anything else throws std::invalid_argument.
  bool isActiveOnDate(std::string_view dateStr) const;
  bool isActiveOnDate(const Date& date) const noexcept;
  // Weeks 53 and 1 are both odd, so an odd-week event runs two weeks in a row at such a
  // year end.
  bool isActiveOnThisWeek(const Date& date) const noexcept;
};

constexpr std::array<ReoccurringCalendarEvent::Mode, 3> enumValues(ReoccurringCalendarEvent::Mode) {
  return {ReoccurringCalendarEvent::Mode::EVERY_WEEK, ReoccurringCalendarEvent::Mode::EVEN_WEEK,
          ReoccurringCalendarEvent::Mode::ODD_WEEK};
}

// The user's calendar settings.
struct CalendarSettings {
  WorkdayMode workdayMode = WorkdayMode::MON_TO_FRI;
  // Key of the region in the cache whose calendar applies.
  std::string syncRegionId = "hu";
  bool syncSchoolHolidays = true;
  std::vector<SingleCalendarEvent> singleEvents;
  std::vector<ReoccurringCalendarEvent> reoccurringEvents;

  static constexpr auto fields() {
    return std::tuple{field("workdayMode", &CalendarSettings::workdayMode),
                      field("syncRegionId", &CalendarSettings::syncRegionId),
                      field("syncSchoolHolidays", &CalendarSettings::syncSchoolHolidays),
                      field("singleEvents", &CalendarSettings::singleEvents),
                      field("reoccurringEvents", &CalendarSettings::reoccurringEvents)};
  }

  // Working weekdays in the order of the week as the mode names it (SUN_TO_THU: 6, 0, 1, 2, 3).
  std::vector<int> getWorkdays() const;
};

// Parses exactly "YYYY-MM-DD" into a real day; std::invalid_argument otherwise.
Date parseIsoDate(std::string_view text);

}  // namespace veltrano
