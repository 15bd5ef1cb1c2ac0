#include <gtest/gtest.h>

#include <string>

#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

using HostileInputTest = ServerFixture;

TEST_F(HostileInputTest, InvalidUtf8IsRefusedAndEveryViewStillAnswers) {
  auto event =
      get("/api/trigger/addSingleEvent/x?timetableId=%FF&startDate=2024-01-01"
          "&endDate=2024-01-02");
  EXPECT_EQ(event->status, 400);
  EXPECT_EQ(event->body, "The query argument timetableId is not valid UTF-8");
  EXPECT_EQ(get("/api/trigger/addReoccurringEvent/x?timetableId=%C0%AF&mode=1&days=1")->status,
            400);
  EXPECT_EQ(get("/api/trigger/deleteSignal/%ED%A0%80")->status, 400);
  auto named = upload({{"file", "RIFF", "bell\xff.wav", "audio/wav"}});
  EXPECT_EQ(named->status, 400);
  auto programme = upload({{"file", "RIFF", "a.mp3", "audio/mpeg"},
                           {"programName", "\xe2\x82", "", ""},
                           {"date", "2026-03-09", "", ""},
                           {"time", "10:00", "", ""}});
  EXPECT_EQ(programme->body, "The form field programName is not valid UTF-8");

  EXPECT_TRUE(stores_.lock().db().settings.calendar.singleEvents.empty());
  for (const char* view : {"/db", "/api/get/signals", "/api/get/settings", "/api/get/calendarInfo",
                           "/api/get/programmeInfo"}) {
    EXPECT_EQ(get(view)->status, 200) << view;
  }
}

TEST_F(HostileInputTest, DeeplyNestedBodiesAreRefusedBeforeAnyoneCopiesThem) {
  setPassword("secret");
  // Within the login route's body limit.
  std::string deep = std::string(2000, '[') + std::string(2000, ']');
  auto refused = post("/auth/login", R"({"userPassword": "secret", "remember": )" + deep + "}");
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(refused->body, "The request body nests deeper than 32 levels");
  // Brackets inside a text are no nesting.
  auto cookie = login("secret");
  auto renamed = post("/db/timetables/create", R"({"name": ")" + deep + R"("})", cookie);
  EXPECT_EQ(renamed->status, 200) << renamed->body;
}

TEST_F(HostileInputTest, LongPathsAreRefusedWithoutRecursion) {
  auto options = client_->Options("/db/timetables/update/" + std::string(8000, 'a'));
  ASSERT_TRUE(options);
  EXPECT_EQ(options->status, 414);
  auto longest = client_->Options("/db/timetables/update/" + std::string(1000, 'a'));
  EXPECT_EQ(longest->get_header_value("Allow"), "GET, HEAD, OPTIONS, POST");
  EXPECT_EQ(client_->Options("/db/timetables/update/a/b")->get_header_value("Allow"),
            "GET, HEAD, OPTIONS");
  EXPECT_EQ(client_->Options("/db/timetables/update/")->get_header_value("Allow"),
            "GET, HEAD, OPTIONS");
  EXPECT_EQ(get("/" + std::string(60000, 'a'))->status, 414);
}

}  // namespace
}  // namespace veltrano::test
