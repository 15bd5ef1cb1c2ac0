#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/AudioFiles.hpp"
#include "foundation/Crypto.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

using DatabaseEndpointsTest = ServerFixture;

const char* TIMETABLE = R"({"name": "Short day", "chA": {"lessons": ["08:00 - 08:30"],
    "startOfClass": {"id": "ID_ping", "doRepeat": false, "iterations": 2, "delaySec": 1.0}},
    "customPlays": [{"desc": {"id": "ID_ring"}, "slots": ["12:00", "12:00:30"]}]})";

TEST_F(DatabaseEndpointsTest, DatabaseIsServedInItsStoredEncoding) {
  auto result = get("/db");
  ASSERT_EQ(result->status, 200);
  Json db = Json::parse(result->body);
  EXPECT_EQ(db, Json::parse(toJson(stores_.lock().db())));
  EXPECT_EQ(db["timetables"]["ID_factory_default_timetable"]["chA"]["lessons"][0], "08:00 - 08:45");
}

TEST_F(DatabaseEndpointsTest, TimetablesAreCreatedAndReplaced) {
  auto created = post("/db/timetables/create", TIMETABLE, "", "text/plain");
  ASSERT_EQ(created->status, 200);
  std::string key = Json::parse(created->body).get<std::string>();
  EXPECT_EQ(key.size(), 36u);

  Json table = Json::parse(get("/db/timetables")->body);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1]["id"], key);
  EXPECT_EQ(table[1]["name"], "Short day");
  EXPECT_EQ(table[1]["customPlays"][0]["slots"][1], "12:00:30");

  auto updated = post("/db/timetables/update/" + key, R"({"name": "Renamed"})");
  EXPECT_EQ(updated->body, "true");
  auto access = stores_.lock();
  EXPECT_EQ(access.db().timetables.get(key).name, "Renamed");
  EXPECT_EQ(access.db().timetables.at(-1).name, "Renamed");  // kept its place
}

TEST_F(DatabaseEndpointsTest, BadTimetablesAndUnknownIdsAreRefused) {
  struct Case {
    std::string path;
    const char* body;
    const char* answer;
  };
  std::vector<Case> cases{
      {"/db/timetables/create", "{", "Invalid timetable"},
      {"/db/timetables/create", "[]", "Invalid timetable"},
      {"/db/timetables/create", R"({"chA": {"lessons": ["25:00 - 26:00"]}})", "Invalid timetable"},
      {"/db/timetables/create", R"({"chA": {"preStartWaitMin": "five"}})", "Invalid timetable"},
      {"/db/timetables/update/nope", "{", "ID not found"},
      {"/db/timetables/update/ID_factory_default_timetable", R"({"name": 5})", "Invalid timetable"},
      {"/db/timetables/create",
       R"({"customPlays": [{"desc": {"id": "ID_ping", "doRepeat": true, "iterations": 2147483647},
           "slots": ["10:00"]}]})",
       "Invalid timetable: customPlays[0].desc.iterations must be between 1 and 1000"},
      {"/db/timetables/create", R"({"chB": {"preEnd": {"doRepeat": true, "iterations": 0}}})",
       "Invalid timetable: chB.preEnd.iterations must be between 1 and 1000"},
  };
  for (const auto& c : cases) {
    auto result = post(c.path, c.body);
    EXPECT_EQ(result->status, 400) << c.body;
    EXPECT_EQ(result->body, c.answer) << c.body;
  }
  EXPECT_EQ(stores_.lock().db().timetables.size(), 1u);
}

TEST_F(DatabaseEndpointsTest, SettingsUpdatesAreCheckedAndAllOrNothing) {
  EXPECT_EQ(post("/db/settings/update", "{}")->body, "true");
  EXPECT_EQ(post("/db/settings/update", R"({"schedulerEnable": false, "calendar.workdayMode": 16})")
                ->body,
            "true");
  {
    auto access = stores_.lock();
    EXPECT_FALSE(access.db().settings.schedulerEnable);
    EXPECT_EQ(access.db().settings.calendar.workdayMode, WorkdayMode::MON_TO_SAT);
  }
  auto refused = post("/db/settings/update", R"({"schedulerEnable": true, "calendar.nope": 1})");
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(refused->body, "Unknown setting: calendar.nope");
  EXPECT_FALSE(stores_.lock().db().settings.schedulerEnable);
  EXPECT_EQ(post("/db/settings/update", "not json")->status, 400);
  auto beyondRange =
      post("/db/settings/update", R"({"calendar.workdayMode": 9223372036854775808.0})");
  EXPECT_EQ(beyondRange->status, 400);
  EXPECT_NE(beyondRange->body.find("calendar.workdayMode"), std::string::npos) << beyondRange->body;
  EXPECT_EQ(post("/db/settings/update", "[]")->body, "The settings update must be a JSON object");
}

TEST_F(DatabaseEndpointsTest, SignalFilesAreServedInline) {
  auto builtIn = get("/get_signal_file/ID_ping");
  ASSERT_EQ(builtIn->status, 200);
  EXPECT_EQ(builtIn->get_header_value("Content-Type"), "audio/mpeg");
  EXPECT_EQ(builtIn->get_header_value("Content-Disposition"), "inline; filename=\"p-ping.mp3\"");
  EXPECT_EQ(md5Hex(builtIn->body), md5HexOfFile(paths_.getAssetPath("p-ping.mp3").string()));

  writeWave(paths_.getUserFilePath("u.wav"), 8000, 1, 8000);
  {
    AudioAsset asset;
    asset.filename = "u.wav";
    stores_.lock().db().songs.add(asset, "u");
  }
  auto user = get("/get_signal_file/u");
  EXPECT_EQ(user->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(user->body.size(), std::filesystem::file_size(paths_.getUserFilePath("u.wav")));

  EXPECT_EQ(get("/get_signal_file/nope")->status, 404);
  std::filesystem::remove(paths_.getUserFilePath("u.wav"));
  EXPECT_EQ(get("/get_signal_file/u")->status, 404);
}

}  // namespace
}  // namespace veltrano::test
