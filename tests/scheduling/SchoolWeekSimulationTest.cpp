#include <gtest/gtest.h>

#include "SchedulerFixture.hpp"

namespace veltrano {
namespace {

using Played = std::vector<std::string>;

// A whole school week, second by second, against the bells written down by hand.
class SchoolWeekSimulationTest : public test::SchedulerFixture {
 protected:
  // Runs one round in every second from the start of `first` to the end of `last`.
  void simulateDays(const Date& first, const Date& last) {
    for (long long day = first.toDayNumber(); day <= last.toDayNumber(); ++day) {
      const Date date = Date::fromDayNumber(day);
      for (int second = 0; second < SECONDS_IN_A_DAY; ++second) {
        setClock(test::clockAt(date, TimeOfDay::fromSecondsOfDay(second)));
        scheduler_.runRound();
      }
    }
  }
};

TEST_F(SchoolWeekSimulationTest, EveryBellOfTheWeekInItsSecond) {
  {
    auto access = stores_.lock();
    DB& db = access.db();
    for (const char* id : {"start", "end", "pre-start", "pre-end", "chb", "custom", "concert"}) {
      addSound(db, id);
    }
    TimeTable regular = timetable({"08:00 - 08:45", "08:45 - 09:30"});
    regular.customPlays.push_back({PlayDesc{"custom"}, {TimeOfDay{12}, TimeOfDay{12, 0, 30}}});
    db.timetables.add(regular, "regular");
    db.timetables.add(timetable({"10:00 - 10:30"}, 0, 10), "short");
    db.timetables.add(timetable({"11:00 - 11:45"}), "odd");
    db.timetables.add(timetable({"13:00 - 13:45"}), "even");
    db.timetables.add(timetable({"00:02 - 00:30"}), "night");

    Settings& settings = db.settings;
    settings.defaultTimetableId = "regular";
    settings.calendar.workdayMode = WorkdayMode::MON_TO_FRI;
    settings.calendar.syncRegionId = "hu";
    // Monday was switched to the short timetable by hand; the choice ends with the day.
    settings.dailyPreferences.selectedTimetableId = "short";
    settings.dailyPreferences.lastDay = static_cast<int>(Date{2026, 3, 9}.toDayNumber());
    settings.calendar.singleEvents.push_back(
        SingleCalendarEvent::fromUserInput("short", "2026-03-11", "2026-03-11"));
    // ISO week 11 is odd: Thursday takes "odd", Friday's even-week event stays off.
    settings.calendar.reoccurringEvents.push_back(
        ReoccurringCalendarEvent::fromUserInput("odd", 3, 1 << 3));
    settings.calendar.reoccurringEvents.push_back(
        ReoccurringCalendarEvent::fromUserInput("even", 2, 1 << 4));
    settings.calendar.reoccurringEvents.push_back(
        ReoccurringCalendarEvent::fromUserInput("night", 1, 1 << 5));

    CalendarRegion hungary;
    hungary.holidays = {"2026-03-10"};
    hungary.schoolBreaks = {"2026-03-13"};
    hungary.provideHolidays = false;  // so Friday's school break does not apply
    access.cache().calendarRegions.add(hungary, "hu");

    db.programmes.add(Programme::fromUserInput("concert", "2026-03-11", "10:15:30"));
  }

  simulateDays(Date{2026, 3, 9}, Date{2026, 3, 15});

  const Played expected = {
      // Monday, chosen by hand: no wait before the start.
      "2026-03-09 10:00:00 start", "2026-03-09 10:00:00 pre-start", "2026-03-09 10:20:00 pre-end",
      "2026-03-09 10:30:00 end",
      // Tuesday is a public holiday of the region: silence.
      // Wednesday, a single event, and a programme.
      "2026-03-11 10:00:00 start", "2026-03-11 10:00:00 pre-start", "2026-03-11 10:15:30 concert",
      "2026-03-11 10:20:00 pre-end", "2026-03-11 10:30:00 end",
      // Thursday of an odd week.
      "2026-03-12 10:55:00 pre-start", "2026-03-12 11:00:00 start", "2026-03-12 11:40:00 pre-end",
      "2026-03-12 11:45:00 end",
      // Friday: the default timetable, two lessons back to back, two custom slots.
      "2026-03-13 07:55:00 pre-start", "2026-03-13 08:00:00 start", "2026-03-13 08:40:00 pre-end",
      "2026-03-13 08:40:00 pre-start", "2026-03-13 08:45:00 end", "2026-03-13 08:45:00 start",
      "2026-03-13 09:25:00 pre-end", "2026-03-13 09:30:00 end", "2026-03-13 12:00:00 custom",
      "2026-03-13 12:00:30 custom",
      // Saturday: a weekly event whose warning wraps round midnight to the evening.
      "2026-03-14 00:02:00 start", "2026-03-14 00:25:00 pre-end", "2026-03-14 00:30:00 end",
      "2026-03-14 23:57:00 pre-start",
      // Sunday: nothing; the night timetable is not active at 00:02.
  };
  EXPECT_EQ(played(true), expected);

  auto access = stores_.lock();
  EXPECT_TRUE(access.db().programmes.empty());
  EXPECT_FALSE(access.db().songs.contains("concert"));
  EXPECT_FALSE(access.db().settings.dailyPreferences.selectedTimetableId);
  EXPECT_EQ(scheduler_.secCounter(), 7 * SECONDS_IN_A_DAY);
  EXPECT_FALSE(log_.contains("Scheduler thread error"));
}

}  // namespace
}  // namespace veltrano
