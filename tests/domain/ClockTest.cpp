#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "domain/Clock.hpp"

namespace veltrano {
namespace {

ClockValue at(int year, int month, int day, int hour, int minute, int second) {
  ClockValue v;
  v.tm_year = year;
  v.tm_mon = month;
  v.tm_mday = day;
  v.tm_hour = hour;
  v.tm_min = minute;
  v.tm_sec = second;
  return v;
}

TEST(ClockTest, TextsComeFromTheLastReading) {
  Clock clock([] { return at(2026, 3, 9, 7, 45, 3); });
  EXPECT_EQ(clock.getDateString(), "2026-03-09");
  EXPECT_EQ(clock.getTimeString(), "07:45:03");
  EXPECT_EQ(clock.getTimeString("%H:%M"), "07:45");
}

TEST(ClockTest, TimeStringSeesWeekdayAndDayOfYearInTheirOwnNumbering) {
  ClockValue monday = at(2026, 3, 9, 7, 45, 3);
  monday.tm_wday = 0;
  monday.tm_yday = 68;
  Clock clock([&] { return monday; });
  EXPECT_EQ(clock.getTimeString("%a %j %Y-%m-%d"), "Mon 068 2026-03-09");
}

TEST(ClockTest, GetClockIsStableUntilUpdateClock) {
  int calls = 0;
  Clock clock([&] {
    ++calls;
    return at(2026, 3, 9, 7, 45, calls);
  });
  EXPECT_EQ(clock.getClock().tm_sec, 1);
  EXPECT_EQ(clock.getClock().tm_sec, 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(clock.updateClock().tm_sec, 2);
  EXPECT_EQ(clock.getClock().tm_sec, 2);
  EXPECT_EQ(clock.getTimeString(), "07:45:02");
}

TEST(ClockTest, EpochConversionUsesMondayZeroAndOneBasedFields) {
  // Noon keeps the day the same in every time zone the machine may be set to.
  ClockValue v = clockValueFromEpoch(1773057600);  // 2026-03-09 12:00 UTC, a Monday
  EXPECT_EQ(v.tm_year, 2026);
  EXPECT_EQ(v.tm_mon, 3);
  EXPECT_EQ(v.tm_mday, 9);
  EXPECT_EQ(v.tm_wday, 0);
  EXPECT_EQ(v.tm_yday, 68);
}

TEST(ClockTest, ReadersNeverSeeHalfAnUpdate) {
  std::atomic<int> n{0};
  Clock clock([&] {
    int i = ++n;
    // Every field carries the same counter, so a torn read shows as a mismatch.
    return at(i, i, i, i, i, i);
  });
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i)
      clock.updateClock();
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    ClockValue v = clock.getClock();
    if (v.tm_year != v.tm_mon || v.tm_mon != v.tm_sec || v.tm_hour != v.tm_mday)
      ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace veltrano
