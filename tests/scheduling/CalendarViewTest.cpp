#include <gtest/gtest.h>

#include "SchedulerFixture.hpp"
#include "scheduling/MonthView.hpp"
#include "scheduling/TimetableInfo.hpp"

namespace veltrano {
namespace {

using test::clockAt;

TEST(MonthView, PaddedWeeksOfTheMonth) {
  struct Case {
    const char* today;
    long long offset;
    const char* first;
    const char* last;
    std::size_t days;
    std::size_t leading;   // filler days before the month
    std::size_t trailing;  // filler days after it
  };
  const Case cases[] = {
      {"2026-03-15", 0, "2026-02-23", "2026-04-05", 42, 6, 5},
      {"2021-02-10", 0, "2021-02-01", "2021-02-28", 28, 0, 0},
      {"2026-01-15", -1, "2025-12-01", "2026-01-04", 35, 0, 4},
      {"2025-12-15", 1, "2025-12-29", "2026-02-01", 35, 3, 1},
      {"2026-01-15", 13, "2027-02-01", "2027-02-28", 28, 0, 0},
      {"2026-01-31", -2, "2025-10-27", "2025-11-30", 35, 5, 0},
      {"2026-03-15", -2025 * 12 - 2, "0001-01-01", "0001-02-04", 35, 0, 4},
  };
  for (const Case& c : cases) {
    auto dates = generatePaddedCalendarDates(clockAt(c.today, "12:00"), c.offset);
    ASSERT_EQ(dates.size(), c.days) << c.today << " " << c.offset;
    EXPECT_EQ(dates.front().date.asString(), c.first);
    EXPECT_EQ(dates.back().date.asString(), c.last);
    EXPECT_EQ(dates.front().date.weekday(), 0);
    for (std::size_t i = 1; i < dates.size(); ++i) {
      EXPECT_EQ(dates[i].date.toDayNumber(), dates[i - 1].date.toDayNumber() + 1);
      EXPECT_EQ(dates[i].isGivenMonth, i >= c.leading && i < c.days - c.trailing) << i;
    }
  }
}

TEST(MonthView, MonthsOutsideTheCalendarAreRefused) {
  const ClockValue now = clockAt("2026-03-15", "12:00");
  EXPECT_THROW(generatePaddedCalendarDates(now, -2026 * 12), std::invalid_argument);
  EXPECT_THROW(generatePaddedCalendarDates(now, 8000 * 12), std::invalid_argument);
  EXPECT_THROW(generatePaddedCalendarDates(now, std::numeric_limits<long long>::min()),
               std::invalid_argument);
  EXPECT_THROW(generatePaddedCalendarDates(now, std::numeric_limits<long long>::max()),
               std::invalid_argument);
}

TEST(MonthView, DaysCarryTheirTimetableAndTodaysHandChoice) {
  DB db;
  Cache cache;
  CalendarRegion hu;
  hu.holidays = {"2026-03-16"};
  cache.calendarRegions.add(hu, "hu");
  db.settings.calendar.singleEvents.push_back(
      SingleCalendarEvent::fromUserInput("exam", "2026-03-02", "2026-03-02"));
  db.settings.dailyPreferences.selectedTimetableId = "chosen";

  const Json view = getCalendarInfoForMonth(db, cache, clockAt("2026-03-09", "12:00"));
  EXPECT_TRUE(view.dump().starts_with(
      R"({"year":2026,"month":3,"defaultTimetableId":"ID_factory_default_timetable","days":[)"));
  const Json& days = view["days"];
  ASSERT_EQ(days.size(), 42u);
  EXPECT_EQ(
      days[0].dump(),
      R"({"id":"ID_factory_default_timetable","day":23,"typeOfDay":"WORKDAY","isToday":false,"isGivenMonth":false})");
  EXPECT_EQ(
      days[6].dump(),
      R"({"id":"NULL","day":1,"typeOfDay":"NON_WORKDAY","isToday":false,"isGivenMonth":true})");
  EXPECT_EQ(days[7]["id"], "exam");
  EXPECT_EQ(days[14].dump(),
            R"({"id":"chosen","day":9,"typeOfDay":"WORKDAY","isToday":true,"isGivenMonth":true})");
  EXPECT_EQ(days[15]["id"], FACTORY_DEFAULT_TIMETABLE_ID);
  EXPECT_EQ(days[21]["typeOfDay"], "HOLIDAY");
  EXPECT_EQ(days[21]["id"], "NULL");

  const Json next = getCalendarInfoForMonth(db, cache, clockAt("2026-03-09", "12:00"), 1);
  EXPECT_EQ(next["month"], 4);
  for (const Json& day : next["days"])
    EXPECT_FALSE(day["isToday"]);
}

class ActiveTimetableTest : public ::testing::Test {
 protected:
  ActiveTimetableTest() {
    AudioAsset ring;
    ring.name = "ring";
    db_.songs.add(ring, "ring");
    AudioAsset choir;
    choir.name = "choir";
    db_.songs.add(choir, "choir");
  }

  void programme(const char* songId, const char* date, const char* time) {
    db_.programmes.add(Programme::fromUserInput(songId, date, time));
  }

  TimetableInfo info() { return getActiveTimetableInfo(db_, cache_, now_); }

  DB db_;
  Cache cache_;
  ClockValue now_ = clockAt("2026-03-09", "09:00");
};

TEST_F(ActiveTimetableTest, CalendarChoiceAndTheNextProgrammeOfToday) {
  programme("ring", "2026-03-09", "10:30");
  programme("choir", "2026-03-09", "09:15");
  programme("ring", "2026-03-09", "09:00");  // this very second is not ahead
  programme("ring", "2026-03-10", "09:10");  // tomorrow
  EXPECT_EQ(info(), (TimetableInfo{FACTORY_DEFAULT_TIMETABLE_ID, TimetableSource::NORMAL,
                                   "2026-03-09", 0, TypeOfDay::WORKDAY, "09:15 - choir"}));

  programme("ring", "2026-03-09", "09:15");  // same time, added later: not chosen
  EXPECT_EQ(info().programmeToday, "09:15 - choir");
  programme("ring", "2026-03-09", "09:00:30");
  EXPECT_EQ(info().programmeToday, "09:00:30 - ring");

  now_ = clockAt("2026-03-09", "11:00");
  EXPECT_EQ(info().programmeToday, std::nullopt);
}

TEST_F(ActiveTimetableTest, AProgrammeWhoseSongIsGoneIsMarkedNotFatal) {
  programme("gone", "2026-03-09", "10:30");
  EXPECT_EQ(info().programmeToday, "10:30 - (missing song)");
}

TEST_F(ActiveTimetableTest, HandChoiceOverridesOnlyWhenItDiffers) {
  db_.settings.dailyPreferences.selectedTimetableId = FACTORY_DEFAULT_TIMETABLE_ID;
  EXPECT_EQ(info().source, TimetableSource::NORMAL);

  db_.settings.dailyPreferences.selectedTimetableId = "chosen";
  now_ = clockAt("2026-03-14", "09:00");  // Saturday: the calendar has none
  TimetableInfo chosen = info();
  EXPECT_EQ(chosen.id, "chosen");
  EXPECT_EQ(chosen.source, TimetableSource::DAILY_OVERRIDE);
  EXPECT_EQ(chosen.typeOfDay, TypeOfDay::NON_WORKDAY);
}

TEST_F(ActiveTimetableTest, SwitchedOffShowsTheDayButNoTimetableNorProgramme) {
  programme("ring", "2026-03-09", "10:30");
  db_.settings.schedulerEnable = false;
  db_.settings.dailyPreferences.selectedTimetableId = "chosen";
  CalendarRegion hu;
  hu.extraWorkdays = {"2026-03-09"};
  cache_.calendarRegions.add(hu, "hu");

  const TimetableInfo disabled = info();
  EXPECT_EQ(disabled, (TimetableInfo{"NULL", TimetableSource::DISABLED, "2026-03-09", 0,
                                     TypeOfDay::EXTRA_WORKDAY, std::nullopt}));
  EXPECT_EQ(
      disabled.asJson().dump(),
      R"({"id":"NULL","source":"DISABLED","date":"2026-03-09","dayOfWeek":0,"typeOfDay":"REPLACED_WORKDAY","programmeToday":null})");
}

}  // namespace
}  // namespace veltrano
