#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "domain/TimeOfDay.hpp"

namespace veltrano {
namespace {

TEST(TimeOfDayTest, TextFormShowsSecondsOnlyWhenNotZero) {
  struct Case {
    TimeOfDay time;
    const char* text;
  };
  const std::vector<Case> cases = {
      {{7, 45, 0}, "07:45"},      {{7, 45, 9}, "07:45:09"}, {{0, 0, 0}, "00:00"},
      {{23, 59, 59}, "23:59:59"}, {{8, 5, 30}, "08:05:30"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.time.asString(), c.text);
    EXPECT_EQ(c.time.encode(), c.text);
  }
}

TEST(TimeOfDayTest, DecodeAcceptsLenientForms) {
  struct Case {
    const char* text;
    TimeOfDay expected;
    const char* reencoded;
  };
  const std::vector<Case> cases = {
      {"07:45", {7, 45, 0}, "07:45"},
      {"7:45:00", {7, 45, 0}, "07:45"},
      {"8:5", {8, 5, 0}, "08:05"},
      {"08:05:30", {8, 5, 30}, "08:05:30"},
      {" 07:45", {7, 45, 0}, "07:45"},
      {"07 : 45 ", {7, 45, 0}, "07:45"},
      {"23:59:59", {23, 59, 59}, "23:59:59"},
      {"00:00", {0, 0, 0}, "00:00"},
      {"10:20:30:40", {10, 20, 30}, "10:20:30"},
      {"+7:45", {7, 45, 0}, "07:45"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TimeOfDay decoded = TimeOfDay::decode(c.text);
    EXPECT_EQ(decoded, c.expected);
    EXPECT_EQ(decoded.encode(), c.reencoded);
  }
}

TEST(TimeOfDayTest, DecodeRefusesValuesOutOfRangeAndNonNumbers) {
  for (const char* text : {"24:00", "12:60", "-1:00", "23:60", "12:00:60", "12:-1", "ab:00",
                           "12:3x", "", "12:", ":30", "1 2:00", "12:00:", "99999999999:00"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(TimeOfDay::decode(text), std::invalid_argument);
  }
}

TEST(TimeOfDayTest, DecodeWithoutMinuteIsAnIndexFailure) {
  EXPECT_THROW(TimeOfDay::decode("8"), std::out_of_range);
  EXPECT_THROW(TimeOfDay::decode("08"), std::out_of_range);
}

TEST(TimeOfDayTest, FromSecondsOfDayFoldsIntoOneDay) {
  struct Case {
    long long seconds;
    TimeOfDay expected;
  };
  const std::vector<Case> cases = {
      {0, {0, 0, 0}},
      {86400, {0, 0, 0}},
      {-1, {23, 59, 59}},
      {-60, {23, 59, 0}},
      {3661, {1, 1, 1}},
      {86399, {23, 59, 59}},
      {2 * 86400 + 5, {0, 0, 5}},
      {-86400 - 1, {23, 59, 59}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(TimeOfDay::fromSecondsOfDay(c.seconds), c.expected);
  }
}

TEST(TimeOfDayTest, MinusMinutesWrapsRoundMidnight) {
  struct Case {
    TimeOfDay time;
    long long minutes;
    TimeOfDay expected;
  };
  const std::vector<Case> cases = {
      {{0, 3, 0}, 5, {23, 58, 0}},       {{8, 0, 0}, -10, {8, 10, 0}}, {{8, 0, 0}, 5, {7, 55, 0}},
      {{0, 2, 0}, 5, {23, 57, 0}},       {{23, 58, 0}, -5, {0, 3, 0}}, {{8, 0, 30}, 0, {8, 0, 30}},
      {{10, 0, 0}, 24 * 60, {10, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.time.asString() + " - " + std::to_string(c.minutes));
    TimeOfDay original = c.time;
    EXPECT_EQ(c.time.minusMinutes(c.minutes), c.expected);
    EXPECT_EQ(c.time, original);
  }
}

TEST(TimeOfDayTest, EqualsClockOnlyWhenSecondsAgreeToo) {
  ClockValue clock;
  clock.tm_hour = 8;
  clock.tm_min = 0;
  clock.tm_sec = 0;
  EXPECT_TRUE((TimeOfDay{8, 0, 0} == clock));
  clock.tm_sec = 1;
  EXPECT_FALSE((TimeOfDay{8, 0, 0} == clock));
  EXPECT_TRUE((TimeOfDay{8, 0, 1} == clock));
  EXPECT_EQ(TimeOfDay::fromTimeStruct(clock), (TimeOfDay{8, 0, 1}));
}

TEST(TimeOfDayTest, OrderingBySecondsOfDay) {
  EXPECT_TRUE((TimeOfDay{10, 30, 0} > TimeOfDay{10, 29, 59}));
  EXPECT_FALSE((TimeOfDay{10, 30, 0} > TimeOfDay{10, 30, 0}));
  EXPECT_TRUE((TimeOfDay{9, 0, 0} < TimeOfDay{10, 0, 0}));
  // Unnormalised fields still order by their total.
  EXPECT_TRUE((TimeOfDay{0, 61, 0} > TimeOfDay{1, 0, 0}));
  ClockValue clock;
  clock.tm_hour = 10;
  clock.tm_min = 15;
  EXPECT_TRUE((TimeOfDay{10, 30, 0} > clock));
  EXPECT_FALSE((TimeOfDay{10, 15, 0} > clock));
  EXPECT_TRUE((TimeOfDay{10, 0, 0} < clock));
}

TEST(TimeOfDayTest, EqualValuesHashAlikeAndServeAsKeys) {
  std::unordered_set<TimeOfDay> slots{{8, 0, 0}, TimeOfDay::decode("8:00"), {8, 0, 1}};
  EXPECT_EQ(slots.size(), 2u);
  EXPECT_TRUE(slots.contains(TimeOfDay{8, 0, 1}));
}

}  // namespace
}  // namespace veltrano
