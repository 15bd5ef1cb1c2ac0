#include <gtest/gtest.h>

#include <functional>

#include "scheduling/DayClassification.hpp"

namespace veltrano {
namespace {

constexpr const char* DEFAULT = FACTORY_DEFAULT_TIMETABLE_ID;

CalendarRegion& region(Cache& cache, const std::string& id = "hu") {
  if (!cache.calendarRegions.contains(id))
    cache.calendarRegions.add(CalendarRegion{}, id);
  return cache.calendarRegions.get(id);
}

void single(Settings& s, const char* id, const char* start, const char* end) {
  s.calendar.singleEvents.push_back(SingleCalendarEvent::fromUserInput(id, start, end));
}

void weekly(Settings& s, const char* id, int mode, int days) {
  s.calendar.reoccurringEvents.push_back(ReoccurringCalendarEvent::fromUserInput(id, mode, days));
}

TEST(DayClassification, TypeAndTimetableOfADay) {
  struct Case {
    const char* name;
    std::function<void(Settings&, Cache&)> setup;
    int dayOfWeek;
    const char* date;
    TypeOfDay type;
    const char* timetable;
  };
  const Case cases[] = {
      {"Monday without regions", [](Settings&, Cache&) {}, 0, "2026-03-09", TypeOfDay::WORKDAY,
       DEFAULT},
      {"Saturday without regions", [](Settings&, Cache&) {}, 5, "2026-03-14",
       TypeOfDay::NON_WORKDAY, "NULL"},
      {"holiday wins over an extra working day",
       [](Settings&, Cache& c) {
         region(c).holidays = {"2026-03-10"};
         region(c).extraWorkdays = {"2026-03-10"};
       },
       1, "2026-03-10", TypeOfDay::HOLIDAY, "NULL"},
      {"holiday on a weekend", [](Settings&, Cache& c) { region(c).holidays = {"2026-03-14"}; }, 5,
       "2026-03-14", TypeOfDay::HOLIDAY, "NULL"},
      {"Saturday as an extra working day",
       [](Settings&, Cache& c) { region(c).extraWorkdays = {"2026-03-14"}; }, 5, "2026-03-14",
       TypeOfDay::EXTRA_WORKDAY, DEFAULT},
      {"extra working day wins over a school break",
       [](Settings&, Cache& c) {
         region(c).extraWorkdays = {"2026-03-14"};
         region(c).schoolBreaks = {"2026-03-14"};
       },
       5, "2026-03-14", TypeOfDay::EXTRA_WORKDAY, DEFAULT},
      {"school break with both switches on",
       [](Settings&, Cache& c) { region(c).schoolBreaks = {"2026-03-10"}; }, 1, "2026-03-10",
       TypeOfDay::SCHOOL_BREAK, "NULL"},
      {"school break the region does not provide",
       [](Settings&, Cache& c) {
         region(c).schoolBreaks = {"2026-03-10"};
         region(c).provideHolidays = false;
       },
       1, "2026-03-10", TypeOfDay::WORKDAY, DEFAULT},
      {"school break the user does not follow",
       [](Settings& s, Cache& c) {
         region(c).schoolBreaks = {"2026-03-10"};
         s.calendar.syncSchoolHolidays = false;
       },
       1, "2026-03-10", TypeOfDay::WORKDAY, DEFAULT},
      {"day texts compare exactly", [](Settings&, Cache& c) { region(c).holidays = {"2026-3-10"}; },
       1, "2026-03-10", TypeOfDay::WORKDAY, DEFAULT},
      {"a region other than the configured one is ignored",
       [](Settings&, Cache& c) { region(c, "at").holidays = {"2026-03-10"}; }, 1, "2026-03-10",
       TypeOfDay::WORKDAY, DEFAULT},
      {"a single event rings on a holiday",
       [](Settings& s, Cache& c) {
         region(c).holidays = {"2026-03-10"};
         single(s, "exam", "2026-03-10", "2026-03-10");
       },
       1, "2026-03-10", TypeOfDay::HOLIDAY, "exam"},
      {"single event before a recurring event",
       [](Settings& s, Cache&) {
         weekly(s, "weekly", 1, 0x7f);
         single(s, "exam", "2026-03-01", "2026-03-31");
       },
       1, "2026-03-10", TypeOfDay::WORKDAY, "exam"},
      {"first of two single events",
       [](Settings& s, Cache&) {
         single(s, "first", "2026-03-10", "2026-03-10");
         single(s, "second", "2026-03-09", "2026-03-11");
       },
       1, "2026-03-10", TypeOfDay::WORKDAY, "first"},
      {"single event ending before its start never matches",
       [](Settings& s, Cache&) { single(s, "backwards", "2026-03-11", "2026-03-09"); }, 1,
       "2026-03-10", TypeOfDay::WORKDAY, DEFAULT},
      {"single event across the year end, first day",
       [](Settings& s, Cache&) { single(s, "winter", "2025-12-20", "2026-01-06"); }, 5,
       "2025-12-20", TypeOfDay::NON_WORKDAY, "winter"},
      {"single event across the year end, inside",
       [](Settings& s, Cache&) { single(s, "winter", "2025-12-20", "2026-01-06"); }, 3,
       "2026-01-01", TypeOfDay::WORKDAY, "winter"},
      {"single event across the year end, last day",
       [](Settings& s, Cache&) { single(s, "winter", "2025-12-20", "2026-01-06"); }, 1,
       "2026-01-06", TypeOfDay::WORKDAY, "winter"},
      {"single event across the year end, the day after",
       [](Settings& s, Cache&) { single(s, "winter", "2025-12-20", "2026-01-06"); }, 2,
       "2026-01-07", TypeOfDay::WORKDAY, DEFAULT},
      {"recurring event on a Sunday of an even week",
       [](Settings& s, Cache&) { weekly(s, "even", 2, 64); }, 6, "2026-01-11",
       TypeOfDay::NON_WORKDAY, "even"},
      {"recurring event off on a Sunday of an odd week",
       [](Settings& s, Cache&) { weekly(s, "even", 2, 64); }, 6, "2026-01-04",
       TypeOfDay::NON_WORKDAY, "NULL"},
      {"odd weeks 53 and 1 follow each other, week 53",
       [](Settings& s, Cache&) { weekly(s, "odd", 3, 0x7f); }, 3, "2026-12-31", TypeOfDay::WORKDAY,
       "odd"},
      {"odd weeks 53 and 1 follow each other, week 1",
       [](Settings& s, Cache&) { weekly(s, "odd", 3, 0x7f); }, 0, "2027-01-04", TypeOfDay::WORKDAY,
       "odd"},
      {"first of two recurring events",
       [](Settings& s, Cache&) {
         weekly(s, "every", 1, 1 << 1);
         weekly(s, "odd", 3, 1 << 1);
       },
       1, "2026-03-10", TypeOfDay::WORKDAY, "every"},
      {"recurring event without days never matches",
       [](Settings& s, Cache&) { weekly(s, "never", 1, 0); }, 1, "2026-03-10", TypeOfDay::WORKDAY,
       DEFAULT},
      {"the event follows the date's weekday, the working week the given weekday",
       [](Settings& s, Cache&) { weekly(s, "mondays", 1, 1); }, 5, "2026-03-09",
       TypeOfDay::NON_WORKDAY, "mondays"},
      {"every day is a working day",
       [](Settings& s, Cache&) { s.calendar.workdayMode = WorkdayMode::EVERY_DAY; }, 6,
       "2026-03-15", TypeOfDay::WORKDAY, DEFAULT},
      {"Sunday to Thursday: Sunday works",
       [](Settings& s, Cache&) { s.calendar.workdayMode = WorkdayMode::SUN_TO_THU; }, 6,
       "2026-03-15", TypeOfDay::WORKDAY, DEFAULT},
      {"Sunday to Thursday: Friday rests",
       [](Settings& s, Cache&) { s.calendar.workdayMode = WorkdayMode::SUN_TO_THU; }, 4,
       "2026-03-13", TypeOfDay::NON_WORKDAY, "NULL"},
      {"the default timetable setting is used as it is",
       [](Settings& s, Cache&) { s.defaultTimetableId = "gone"; }, 0, "2026-03-09",
       TypeOfDay::WORKDAY, "gone"},
  };
  for (const Case& c : cases) {
    Settings settings;
    Cache cache;
    c.setup(settings, cache);
    EXPECT_EQ(calculateTypeOfDayWithCalendar(settings, cache, c.dayOfWeek, c.date), c.type)
        << c.name;
    EXPECT_EQ(getTimetableForClock(settings, cache, c.dayOfWeek, c.date),
              (DayTimetable{c.type, c.timetable}))
        << c.name;
  }
}

TEST(DayClassification, MalformedDayTextFails) {
  Settings settings;
  Cache cache;
  EXPECT_THROW(getTimetableForClock(settings, cache, 0, "2026/03/09"), std::invalid_argument);
  EXPECT_THROW(getTimetableForClock(settings, cache, 0, "2026-02-30"), std::invalid_argument);
}

}  // namespace
}  // namespace veltrano
