#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "domain/Date.hpp"

namespace veltrano {
namespace {

TEST(DateTest, TextFormPadsYearMonthAndDay) {
  EXPECT_EQ((Date{2026, 3, 9}.asString()), "2026-03-09");
  EXPECT_EQ((Date{999, 1, 1}.encode()), "0999-01-01");
  EXPECT_EQ(Date{}.encode(), "1900-01-01");
}

TEST(DateTest, DecodeAcceptsRealDays) {
  struct Case {
    const char* text;
    Date expected;
  };
  const std::vector<Case> cases = {
      {"2026-03-09", {2026, 3, 9}},       {"2026-3-9", {2026, 3, 9}},
      {"2024-02-29", {2024, 2, 29}},      {"2000-02-29", {2000, 2, 29}},
      {" 2026 - 03 - 09 ", {2026, 3, 9}}, {"0001-01-01", {1, 1, 1}},
      {"9999-12-31", {9999, 12, 31}},     {"0999-01-01", {999, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Date::decode(c.text), c.expected);
  }
}

TEST(DateTest, DecodeRefusesImpossibleDays) {
  for (const char* text :
       {"2023-02-29", "1900-02-29", "2026-02-30", "2026-04-31", "2026-13-01", "2026-00-10",
        "2026-01-00", "0000-01-01", "10000-01-01", "2026-01-xx", "2026--01"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(Date::decode(text), std::invalid_argument);
  }
}

TEST(DateTest, DecodeWithWrongPieceCountSaysInvalidDateFormat) {
  for (const char* text : {"2024-02", "09-03", "2026/03/09", "", "2026-03-09-01", "-2026-03-09"}) {
    SCOPED_TRACE(text);
    try {
      Date::decode(text);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "Invalid date format");
    }
  }
}

TEST(DateTest, IsBetweenIsInclusiveAcrossMonthsAndYears) {
  struct Case {
    Date day, start, end;
    bool expected;
  };
  const Date dec20{2025, 12, 20}, jan6{2026, 1, 6};
  const std::vector<Case> cases = {
      {{2026, 1, 1}, dec20, jan6, true},
      {dec20, dec20, jan6, true},
      {jan6, dec20, jan6, true},
      {{2025, 12, 19}, dec20, jan6, false},
      {{2026, 1, 7}, dec20, jan6, false},
      {{2026, 1, 1}, jan6, dec20, false},  // start after end matches nothing
      {jan6, jan6, dec20, false},
      {{2026, 2, 1}, {2026, 1, 31}, {2026, 2, 1}, true},
      {{2025, 6, 15}, {2024, 12, 1}, {2026, 1, 1}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.day.asString() + " in " + c.start.asString() + ".." + c.end.asString());
    EXPECT_EQ(c.day.isBetween(c.start, c.end), c.expected);
  }
}

TEST(DateTest, DayNumbersAndWeekdays) {
  EXPECT_EQ((Date{1, 1, 1}.toDayNumber()), 1);
  EXPECT_EQ((Date{1970, 1, 1}.toDayNumber()), 719163);
  EXPECT_EQ((Date{2026, 3, 9}.weekday()), 0);   // Monday
  EXPECT_EQ((Date{2026, 3, 14}.weekday()), 5);  // Saturday
  EXPECT_EQ((Date{2026, 1, 4}.weekday()), 6);   // Sunday
  EXPECT_EQ((Date{1, 1, 1}.weekday()), 0);
  EXPECT_EQ((Date{2026, 2, 28}.plusDays(1)), (Date{2026, 3, 1}));
  EXPECT_EQ((Date{2024, 2, 28}.plusDays(1)), (Date{2024, 2, 29}));
  EXPECT_EQ((Date{2026, 1, 1}.plusDays(-1)), (Date{2025, 12, 31}));
  // Every day of four centuries survives the round trip through its number.
  long long number = Date{1900, 1, 1}.toDayNumber();
  Date day{1900, 1, 1};
  for (int i = 0; i < 146097; ++i, ++number) {
    ASSERT_EQ(Date::fromDayNumber(number), day) << number;
    ASSERT_EQ(day.toDayNumber(), number);
    day = day.d < daysInMonth(day.y, day.m) ? Date{day.y, day.m, day.d + 1}
          : day.m < 12                      ? Date{day.y, day.m + 1, 1}
                                            : Date{day.y + 1, 1, 1};
  }
}

TEST(DateTest, IsoWeekNumbers) {
  struct Case {
    Date day;
    int week;
  };
  const std::vector<Case> cases = {
      {{2026, 12, 31}, 53}, {{2027, 1, 3}, 53},  {{2027, 1, 4}, 1},  {{2026, 1, 4}, 1},
      {{2026, 1, 11}, 2},   {{2025, 12, 29}, 1}, {{2026, 1, 1}, 1},  {{2021, 1, 3}, 53},
      {{2020, 12, 31}, 53}, {{2024, 12, 30}, 1}, {{2026, 3, 9}, 11}, {{2010, 1, 3}, 53},
      {{2008, 12, 29}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.day.asString());
    EXPECT_EQ(isoWeekNumber(c.day), c.week);
  }
}

TEST(DateTest, EqualsClockByDay) {
  ClockValue clock;
  clock.tm_year = 2026;
  clock.tm_mon = 3;
  clock.tm_mday = 9;
  clock.tm_hour = 23;
  EXPECT_TRUE((Date{2026, 3, 9} == clock));
  EXPECT_FALSE((Date{2026, 3, 10} == clock));
  EXPECT_EQ(Date::fromTimeStruct(clock), (Date{2026, 3, 9}));
}

TEST(DateTest, AttributeMapShowsFields) {
  EXPECT_EQ(toAttributeMap(Date{2026, 3, 9}).dump(), R"({"y":2026,"m":3,"d":9})");
}

}  // namespace
}  // namespace veltrano
