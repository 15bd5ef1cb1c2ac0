#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "domain/Lesson.hpp"

namespace veltrano {
namespace {

TEST(LessonTest, DefaultsAreSixLessonsFromEightOClock) {
  auto lessons = Lesson::defaults();
  ASSERT_EQ(lessons.size(), 6u);
  const char* expected[] = {"08:00 - 08:45", "09:00 - 09:45", "10:00 - 10:45",
                            "11:00 - 11:45", "12:00 - 12:45", "13:00 - 13:45"};
  for (std::size_t i = 0; i < lessons.size(); ++i)
    EXPECT_EQ(lessons[i].asString(), expected[i]);
  EXPECT_EQ(Lesson::fromHour().asString(), "00:00 - 00:45");
}

TEST(LessonTest, DecodeAndEncode) {
  struct Case {
    const char* text;
    Lesson expected;
    const char* encoded;
  };
  const std::vector<Case> cases = {
      {"07:45 - 08:30", {{7, 45, 0}, {8, 30, 0}}, "07:45 - 08:30"},
      {"7:45-8:30", {{7, 45, 0}, {8, 30, 0}}, "07:45 - 08:30"},
      {"08:00:30 - 08:45", {{8, 0, 30}, {8, 45, 0}}, "08:00:30 - 08:45"},
      {"09:00 - 08:00", {{9, 0, 0}, {8, 0, 0}}, "09:00 - 08:00"},  // end before start is kept
      {"08:00 - 08:45 - 10:00", {{8, 0, 0}, {8, 45, 0}}, "08:00 - 08:45"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Lesson decoded = Lesson::decode(c.text);
    EXPECT_EQ(decoded, c.expected);
    EXPECT_EQ(decoded.encode(), c.encoded);
  }
}

TEST(LessonTest, DecodeFailures) {
  EXPECT_THROW(Lesson::decode("08:00"), std::out_of_range);
  EXPECT_THROW(Lesson::decode("08:00 - 24:00"), std::invalid_argument);
  EXPECT_THROW(Lesson::decode(" - 08:00"), std::invalid_argument);
}

TEST(LessonTest, AttributeMapNestsTimes) {
  EXPECT_EQ(toAttributeMap(Lesson::fromHour(8)).dump(),
            R"({"start":{"h":8,"m":0,"s":0},"end":{"h":8,"m":45,"s":0}})");
}

}  // namespace
}  // namespace veltrano
