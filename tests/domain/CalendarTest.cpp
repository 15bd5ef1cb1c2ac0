#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "domain/Calendar.hpp"
#include "domain/DailyPreferences.hpp"

namespace veltrano {
namespace {

using Mode = ReoccurringCalendarEvent::Mode;

TEST(CalendarTest, WorkdaysInTheOrderOfEachMode) {
  struct Case {
    WorkdayMode mode;
    std::vector<int> days;
  };
  const std::vector<Case> cases = {
      {WorkdayMode::EVERY_DAY, {0, 1, 2, 3, 4, 5, 6}}, {WorkdayMode::MON_TO_FRI, {0, 1, 2, 3, 4}},
      {WorkdayMode::MON_TO_SAT, {0, 1, 2, 3, 4, 5}},   {WorkdayMode::MON_TO_THU, {0, 1, 2, 3}},
      {WorkdayMode::SUN_TO_THU, {6, 0, 1, 2, 3}},      {WorkdayMode::SAT_TO_WED, {5, 6, 0, 1, 2}},
  };
  for (const auto& c : cases) {
    CalendarSettings settings;
    settings.workdayMode = c.mode;
    EXPECT_EQ(settings.getWorkdays(), c.days) << static_cast<int>(c.mode);
  }
  EXPECT_EQ(CalendarSettings{}.getWorkdays(), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(CalendarTest, RecurringEventWeekdayBitsAndWeekParity) {
  struct Case {
    Mode mode;
    int days;
    const char* date;
    bool active;
  };
  const std::vector<Case> cases = {
      {Mode::EVERY_WEEK, 0, "2026-03-09", false},
      {Mode::EVERY_WEEK, 31, "2026-03-09", true},   // Monday
      {Mode::EVERY_WEEK, 31, "2026-03-13", true},   // Friday
      {Mode::EVERY_WEEK, 31, "2026-03-14", false},  // Saturday
      {Mode::EVERY_WEEK, 31, "2026-03-15", false},  // Sunday
      {Mode::EVERY_WEEK, 127, "2026-03-15", true},
      {Mode::EVEN_WEEK, 64, "2026-01-11", true},   // Sunday of week 2
      {Mode::EVEN_WEEK, 64, "2026-01-04", false},  // Sunday of week 1
      {Mode::ODD_WEEK, 64, "2026-01-04", true},
      {Mode::ODD_WEEK, 64, "2026-01-11", false},
      // Weeks 53 and 1 are both odd.
      {Mode::ODD_WEEK, 127, "2026-12-31", true},
      {Mode::ODD_WEEK, 127, "2027-01-04", true},
      {Mode::EVEN_WEEK, 127, "2026-12-31", false},
      {Mode::EVEN_WEEK, 127, "2027-01-04", false},
      {Mode::EVERY_WEEK, 1 | 128, "2026-03-09", true},  // bits beyond Sunday are ignored
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.date) + " days " + std::to_string(c.days));
    ReoccurringCalendarEvent event{"t", c.mode, c.days};
    EXPECT_EQ(event.isActiveOnDate(c.date), c.active);
    EXPECT_EQ(event.isActiveOnDate(parseIsoDate(c.date)), c.active);
  }
}

TEST(CalendarTest, IsActiveOnDateNeedsAStrictIsoDay) {
  ReoccurringCalendarEvent event{"t", Mode::EVERY_WEEK, 127};
  for (const char* text : {"2026-3-9", "2026-02-30", "2026/03/09", "", "2026-03-09T00:00",
                           "0000-01-01", "2026-13-01"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(event.isActiveOnDate(std::string_view(text)), std::invalid_argument);
  }
}

TEST(CalendarTest, RecurringFromUserInputChecksTheMode) {
  for (int mode : {1, 2, 3}) {
    auto event = ReoccurringCalendarEvent::fromUserInput("t1", mode, 1000);
    EXPECT_EQ(static_cast<int>(event.mode), mode);
    EXPECT_EQ(event.days, 1000);
    EXPECT_EQ(event.timeTableId, "t1");
  }
  for (int mode : {0, 4, -1}) {
    try {
      ReoccurringCalendarEvent::fromUserInput("t1", mode, 1);
      ADD_FAILURE() << mode;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), std::to_string(mode) + " is not a valid Mode");
    }
  }
}

TEST(CalendarTest, SingleEventFromUserInput) {
  auto event = SingleCalendarEvent::fromUserInput("t1", "2026-3-9", "2026-03-20");
  EXPECT_EQ(toJson(event),
            R"({"timeTableId": "t1", "start": "2026-03-09", "end": "2026-03-20", "name": "", )"
            R"("feed": ""})");
  auto backwards = SingleCalendarEvent::fromUserInput("t1", "2026-03-20", "2026-03-09");
  EXPECT_FALSE((Date{2026, 3, 15}.isBetween(backwards.start, backwards.end)));
  EXPECT_THROW(SingleCalendarEvent::fromUserInput("t1", "2026-03-09", "2026-02-30"),
               std::invalid_argument);
}

TEST(CalendarTest, EnumerationsAreStoredAsIntegersAndChecked) {
  CalendarSettings settings;
  settings.workdayMode = WorkdayMode::SAT_TO_WED;
  settings.reoccurringEvents.push_back({"t", Mode::ODD_WEEK, 5});
  EXPECT_EQ(
      toJson(settings),
      R"({"workdayMode": 35, "syncRegionId": "hu", "syncSchoolHolidays": true, )"
      R"("singleEvents": [], "reoccurringEvents": [{"timeTableId": "t", "mode": 3, "days": 5}]})");
  EXPECT_THROW(fromJson<CalendarSettings>(R"({"workdayMode": 8})"), DecodeError);
  EXPECT_THROW(fromJson<CalendarSettings>(R"({"reoccurringEvents": [{"mode": 4}]})"), DecodeError);
  EXPECT_THROW(fromJson<CalendarRegion>(R"({"preferredWorkdayMode": 15.5})"), DecodeError);
  EXPECT_EQ(fromJson<CalendarRegion>(R"({"preferredWorkdayMode": 25})").preferredWorkdayMode,
            WorkdayMode::SUN_TO_THU);
}

TEST(DailyPreferencesTest, StoredUnderUnderscoreLastDay) {
  DailyPreferences prefs;
  EXPECT_EQ(toJson(prefs), R"({"selectedTimetableId": null, "_lastDay": -1})");
  prefs = fromJson<DailyPreferences>(R"({"selectedTimetableId": "t1", "_lastDay": 739684})");
  EXPECT_EQ(prefs.selectedTimetableId, "t1");
  EXPECT_EQ(prefs.lastDay, 739684);
}

TEST(DailyPreferencesTest, ResetOnNewDayClearsTheChoiceOncePerDay) {
  const Date march5{2026, 3, 5};
  DailyPreferences prefs;
  prefs.selectedTimetableId = "stale";
  prefs.resetOnNewDay(march5);  // a fresh record is cleared at the first second
  EXPECT_FALSE(prefs.selectedTimetableId.has_value());
  EXPECT_EQ(prefs.lastDay, march5.toDayNumber());

  prefs.selectedTimetableId = "t1";  // chosen after the first call
  prefs.resetOnNewDay(march5);
  EXPECT_EQ(prefs.selectedTimetableId, "t1");

  ClockValue nextDay;
  nextDay.tm_year = 2026;
  nextDay.tm_mon = 3;
  nextDay.tm_mday = 6;
  prefs.resetOnNewDay(nextDay);
  EXPECT_FALSE(prefs.selectedTimetableId.has_value());
}

TEST(DailyPreferencesTest, ChoiceDoesNotReturnOnTheSameDayOfTheNextYear) {
  DailyPreferences prefs;
  prefs.resetOnNewDay(Date{2026, 3, 5});
  prefs.selectedTimetableId = "t1";
  // Survives a restart on the same day: the stored record carries the day.
  prefs = fromJson<DailyPreferences>(toJson(prefs));
  prefs.resetOnNewDay(Date{2026, 3, 5});
  EXPECT_EQ(prefs.selectedTimetableId, "t1");
  prefs.resetOnNewDay(Date{2027, 3, 5});
  EXPECT_FALSE(prefs.selectedTimetableId.has_value());
}

TEST(DailyPreferencesTest, DayOfYearFromOlderFilesClearsOnce) {
  auto prefs = fromJson<DailyPreferences>(R"({"selectedTimetableId": "t1", "_lastDay": 64})");
  prefs.resetOnNewDay(Date{2026, 3, 5});
  EXPECT_FALSE(prefs.selectedTimetableId.has_value());
}

}  // namespace
}  // namespace veltrano
