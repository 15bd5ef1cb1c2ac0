#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "domain/MyDateTime.hpp"

namespace veltrano {
namespace {

using namespace std::chrono;

TEST(MyDateTimeTest, EncodeShowsMicrosecondsOnlyWhenNotZero) {
  MyDateTime::LocalTime base = local_days{2026y / 3 / 9} + 7h + 45min + 12s;
  EXPECT_EQ(MyDateTime(base).encode(), "2026-03-09T07:45:12");
  EXPECT_EQ(MyDateTime(base + 503118us).encode(), "2026-03-09T07:45:12.503118");
  EXPECT_EQ(MyDateTime(base + 1us).encode(), "2026-03-09T07:45:12.000001");
  EXPECT_EQ(MyDateTime(local_days{999y / 1 / 1} + 0s).encode(), "0999-01-01T00:00:00");
}

TEST(MyDateTimeTest, DecodeReadsIsoForms) {
  struct Case {
    const char* text;
    const char* encoded;
  };
  const std::vector<Case> cases = {
      {"2026-03-09T07:45:12.503118", "2026-03-09T07:45:12.503118"},
      {"2026-03-09T07:45:12", "2026-03-09T07:45:12"},
      {"2026-03-09 07:45:12", "2026-03-09T07:45:12"},
      {"2026-03-09T07:45", "2026-03-09T07:45:00"},
      {"2026-03-09", "2026-03-09T00:00:00"},
      {"2026-03-09T07:45:12.5", "2026-03-09T07:45:12.500000"},
      {"2024-02-29T23:59:59.999999", "2024-02-29T23:59:59.999999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(MyDateTime::decode(c.text).encode(), c.encoded);
  }
}

TEST(MyDateTimeTest, DecodeRefusesMalformedText) {
  for (const char* text :
       {"2026-3-9", "2023-02-29T00:00:00", "2026-03-09T24:00:00", "2026-03-09T07:60",
        "2026-03-09T07:45:12.", "2026-03-09T07:45:12Z", "2026-03-09T07:45:12+01:00",
        "2026-03-09X07:45", "yesterday", "0000-01-01", "2026-03-09T07:45:12.1234567"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(MyDateTime::decode(text), std::invalid_argument);
  }
}

TEST(MyDateTimeTest, DefaultAndEmptyTextAreNowAndRoundTripToTheMicrosecond) {
  auto before = MyDateTime::now();
  MyDateTime made;
  MyDateTime fromEmpty{""};
  auto after = MyDateTime::now();
  for (const auto& value : {made, fromEmpty}) {
    EXPECT_LE(before, value);
    EXPECT_LE(value, after);
    EXPECT_EQ(MyDateTime::decode(value.encode()), value);
  }
  EXPECT_LT(after.date - before.date, std::chrono::minutes(1));
}

}  // namespace
}  // namespace veltrano
