#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "foundation/Crypto.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

std::vector<std::string> keysOf(const Json& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : object.items())
    keys.push_back(key);
  return keys;
}

class TargetsTest : public ServerFixture {
 protected:
  Json query(const std::string& target) {
    auto result = get("/api/get/" + target);
    EXPECT_TRUE(result);
    EXPECT_EQ(result->status, 200) << target << ": " << result->body;
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
    return Json::parse(result->body);
  }
  // The answer of a trigger: "ok" or the failure text.
  std::string trigger(const std::string& targetAndId) {
    auto result = get("/api/trigger/" + targetAndId);
    EXPECT_TRUE(result);
    EXPECT_EQ(result->status, result->body == "ok" ? 200 : 400) << targetAndId;
    return result->body;
  }
  std::string assetPath(const std::string& file) { return paths_.getAssetPath(file).string(); }
  std::string userPath(const std::string& file) { return paths_.getUserFilePath(file).string(); }
};

TEST_F(TargetsTest, ViewsKeepTheirMemberOrder) {
  EXPECT_EQ(keysOf(query("status")),
            (std::vector<std::string>{"time", "isPlaying", "version", "timeZone", "saveError",
                                      "clock", "lastSound"}));
  EXPECT_EQ(query("status")["time"], "10:00:00");
  EXPECT_TRUE(query("status")["saveError"].is_null());
  stores_.lock().shadowStore().markSaveFailed("disk full", "2026-03-09T09:59:58");
  EXPECT_EQ(query("status")["saveError"],
            Json::parse(R"({"store": "_shadow.json", "reason": "disk full", )"
                        R"("since": "2026-03-09T09:59:58"})"));
  EXPECT_EQ(keysOf(query("info")),
            (std::vector<std::string>{"version", "internetAccess", "maxUploadBytes", "language"}));
  EXPECT_EQ(query("info")["language"], "en");

  Json overview = query("overview");
  EXPECT_EQ(keysOf(overview),
            (std::vector<std::string>{"passwordMissing", "timetables", "activeTimetableInfo",
                                      "silencedTimetableId", "time", "isRelease", "alarmActive",
                                      "calendar"}));
  EXPECT_EQ(overview["timetables"],
            Json::parse(R"([{"name": "Default", "id": "ID_factory_default_timetable"}])"));
  EXPECT_EQ(keysOf(overview["activeTimetableInfo"]),
            (std::vector<std::string>{"id", "source", "date", "dayOfWeek", "typeOfDay",
                                      "programmeToday"}));
  EXPECT_EQ(overview["activeTimetableInfo"]["typeOfDay"], "WORKDAY");
  EXPECT_EQ(overview["calendar"]["month"], 3);
  EXPECT_EQ(overview["calendar"]["days"].size(), 42u);

  EXPECT_EQ(keysOf(query("calendarInfo")),
            (std::vector<std::string>{"workdayMode", "syncRegionId", "syncSchoolHolidays",
                                      "singleEvents", "reoccurringEvents", "timetables", "regions",
                                      "lastUpdate", "date", "defaultTimetableId"}));
  EXPECT_EQ(keysOf(query("programmeInfo")), (std::vector<std::string>{"programmes", "date"}));
}

TEST_F(TargetsTest, InternetAccessFollowsTheLastServiceRequest) {
  EXPECT_FALSE(query("info")["internetAccess"]);
  api_.ping("1.0.0");
  EXPECT_TRUE(query("info")["internetAccess"]);
}

TEST_F(TargetsTest, SettingsAreTheAttributeMapWithDatesAsFields) {
  EXPECT_EQ(trigger("addSingleEvent/0?timetableId=tt&startDate=2026-3-9&endDate=2026-03-10"), "ok");
  Json settings = query("settings");
  EXPECT_EQ(settings["calendar"]["singleEvents"][0]["start"],
            Json::parse(R"({"y": 2026, "m": 3, "d": 9})"));
  EXPECT_TRUE(settings["dailyPreferences"].contains("_lastDay"));
  // calendarInfo shows the stored form instead.
  EXPECT_EQ(query("calendarInfo")["singleEvents"][0]["start"], "2026-03-09");
}

TEST_F(TargetsTest, CalendarDaysNeedsAnIntegerOffset) {
  EXPECT_EQ(query("calendarDays?offset=-1")["month"], 2);
  EXPECT_EQ(query("calendarDays?offset=13")["year"], 2027);
  EXPECT_EQ(get("/api/get/calendarDays")->body, "Missing query argument: offset");
  EXPECT_EQ(get("/api/get/calendarDays?offset=abc")->body, "Invalid integer for offset: 'abc'");
}

TEST_F(TargetsTest, UnknownTargetsNameThemselves) {
  auto result = get("/api/get/nope");
  EXPECT_EQ(result->status, 400);
  EXPECT_EQ(result->body, "Unknown target: nope");
  EXPECT_EQ(trigger("nope/1"), "Unknown target: nope");
}

TEST_F(TargetsTest, ProgrammesShowTheirSongAndStayVisibleWithoutIt) {
  {
    auto access = stores_.lock();
    AudioAsset song;
    song.name = "ring";
    song.lengthSec = 7;
    song.storageCategory = AudioAssetCategory::PROGRAMME;
    access.db().songs.add(song, "song1");
    access.db().programmes.add(Programme::fromUserInput("song1", "2026-03-09", "10:30"), "p1");
    access.db().programmes.add(Programme::fromUserInput("gone", "2026-03-09", "11:00"), "p2");
  }
  Json info = query("programmeInfo");
  EXPECT_EQ(info["date"], "2026-03-09");
  EXPECT_EQ(keysOf(info["programmes"][0]),
            (std::vector<std::string>{"songId", "date", "time", "deleteAfterPlay", "id",
                                      "programName", "lengthSec"}));
  EXPECT_EQ(info["programmes"][0]["programName"], "ring");
  EXPECT_EQ(info["programmes"][0]["lengthSec"], 7);
  EXPECT_EQ(info["programmes"][1]["programName"], "(missing song)");
  EXPECT_EQ(query("overview")["activeTimetableInfo"]["programmeToday"], "10:30 - ring");
  // Only signals are listed as signals.
  for (const auto& signal : query("signals"))
    EXPECT_NE(signal["id"], "song1");
  EXPECT_EQ(query("signals").size(), 12u);

  EXPECT_EQ(trigger("deleteProgramme/p2"), "ok");
  EXPECT_EQ(trigger("deleteProgramme/p2"), "Unknown programme: p2");
}

TEST_F(TargetsTest, PlaySignalPlaysTheAssetFile) {
  EXPECT_EQ(trigger("playSignal/ID_ping"), "ok");
  ASSERT_TRUE(stage_.waitForEvents(1));
  EXPECT_EQ(stage_.events()[0], "start " + assetPath("p-ping.mp3"));
  EXPECT_EQ(trigger("playSignal/NULL"), "ok");
  EXPECT_EQ(trigger("playSignal/nope"), "Unknown signal: nope");
}

TEST_F(TargetsTest, AlarmTogglesWhateverTheId) {
  stage_.setPolls(assetPath("alarm.mp3"), FakeStage::FOREVER);
  EXPECT_EQ(trigger("toggleAlarm/anything"), "ok");
  EXPECT_TRUE(query("overview")["alarmActive"]);
  ASSERT_TRUE(stage_.waitForEvents(1));
  EXPECT_EQ(trigger("toggleAlarm/0"), "ok");
  EXPECT_FALSE(query("overview")["alarmActive"]);
  ASSERT_TRUE(stage_.waitForEvents(2));
  EXPECT_EQ(stage_.events()[1], "close " + assetPath("alarm.mp3") + " aborted");
}

TEST_F(TargetsTest, AlarmOnAndOffAnswerTheStateAndRepeatNothing) {
  stage_.setPolls(assetPath("alarm.mp3"), FakeStage::FOREVER);
  auto state = [&](const std::string& call) {
    auto result = get("/api/trigger/" + call);
    EXPECT_EQ(result->status, 200) << result->body;
    return Json::parse(result->body)["alarmActive"].get<bool>();
  };
  EXPECT_FALSE(state("alarmOff/0"));
  EXPECT_TRUE(state("alarmOn/0"));
  EXPECT_TRUE(state("alarmOn/1"));
  ASSERT_TRUE(stage_.waitForEvents(1));
  EXPECT_EQ(stage_.playersMade(), 1);
  EXPECT_FALSE(state("alarmOff/0"));
  EXPECT_FALSE(state("alarmOff/1"));
  EXPECT_FALSE(query("overview")["alarmActive"]);

  // Silenced from elsewhere, the alarm still counts as on; a press of Start sounds it again.
  EXPECT_TRUE(state("alarmOn/0"));
  // Silence it only once it sounds: a stop before the thread's start would leave no events.
  ASSERT_TRUE(stage_.waitForEvents(3));
  player_.stopAll();
  ASSERT_TRUE(stage_.waitForEvents(4));
  EXPECT_TRUE(state("alarmOn/0"));
  EXPECT_EQ(stage_.playersMade(), 3);
  EXPECT_FALSE(state("alarmOff/0"));

  stores_.lock().db().settings.alarmSignalId = "NULL";
  EXPECT_EQ(get("/api/trigger/alarmOn/0")->status, 400);
  EXPECT_FALSE(query("overview")["alarmActive"]);
}

TEST_F(TargetsTest, StopAllSilencesEverythingAndTheLogTellsWhatSounded) {
  stage_.setPolls(assetPath("alarm.mp3"), FakeStage::FOREVER);
  stage_.setPolls(assetPath("p-ping.mp3"), FakeStage::FOREVER);
  EXPECT_EQ(trigger("playSignal/ID_ping"), "ok");
  ASSERT_TRUE(stage_.waitForEvents(1));
  get("/api/trigger/alarmOn/0");
  ASSERT_TRUE(stage_.waitForEvents(2));

  auto stopped = get("/api/trigger/stopAll/0");
  EXPECT_EQ(stopped->body, "true");
  ASSERT_TRUE(stage_.waitForEvents(4)) << "both sounds end";
  EXPECT_FALSE(query("overview")["alarmActive"]);
  EXPECT_FALSE(query("status")["isPlaying"]);

  Json entries = query("history");
  std::multiset<std::string> heard;
  for (const Json& entry : entries) {
    heard.insert(entry["source"].get<std::string>() + " " + entry["signalId"].get<std::string>());
    EXPECT_TRUE(entry["due"].is_null());
    EXPECT_EQ(entry["started"].get<std::string>().substr(0, 19), "2026-03-09T10:00:00");
    EXPECT_EQ(entry["outcome"], "started");
  }
  EXPECT_EQ(heard, (std::multiset<std::string>{"alarm ID_alarm", "signal ID_ping"}));
  EXPECT_EQ(query("history?date=2026-03-09"), entries);
  EXPECT_EQ(query("history?date=2026-03-08"), Json::array());
  EXPECT_EQ(get("/api/get/history?date=2026-02-30")->status, 400);
  EXPECT_EQ(get("/api/get/history?date=yesterday")->status, 400);

  Json status = query("status");
  EXPECT_EQ(status["lastSound"], entries.back());
  EXPECT_TRUE(status["clock"].is_null() || status["clock"].contains("synchronised"));
}

TEST_F(TargetsTest, SignalsTheSystemNeedsStayAndDeletedOnesLeaveExplicitSilence) {
  EXPECT_EQ(trigger("deleteSignal/ID_alarm"),
            "\"alarm\" is the alarm signal and cannot be deleted. Choose another alarm signal "
            "under Settings first.");
  EXPECT_EQ(trigger("deleteSignal/ID_intercom"),
            "\"intercom\" is the announcement lead-in signal and cannot be deleted. Choose "
            "another lead-in signal under Settings first.");
  {
    auto access = stores_.lock();
    DB& db = access.db();
    EXPECT_TRUE(db.songs.contains("ID_alarm") && db.songs.contains("ID_intercom"));
    TimeTable& timetable = db.timetables.get("ID_factory_default_timetable");
    timetable.chB.preEnd.id = "ID_melody";
    UserPlay play;
    play.desc.id = "ID_melody";
    timetable.customPlays.push_back(play);
    Programme programme;
    programme.songId = "ID_melody";
    db.programmes.add(programme, "p1");
    AudioAsset gone;
    gone.filename = "gone.wav";
    db.songs.add(gone, "gone");
  }
  EXPECT_EQ(query("missingAudioFiles"), Json::parse(R"(["gone"])"));
  EXPECT_EQ(trigger("deleteSignal/ID_melody"), "ok");
  auto access = stores_.lock();
  const DB& db = access.db();
  const TimeTable& timetable = db.timetables.get("ID_factory_default_timetable");
  for (const SignalTable* channel : {&timetable.chA, &timetable.chB}) {
    EXPECT_EQ(channel->startOfClass.id, "NULL");
    EXPECT_EQ(channel->endOfClass.id, "NULL");
    EXPECT_EQ(channel->preStart.id, "ID_ping");
  }
  EXPECT_EQ(timetable.chB.preEnd.id, "NULL");
  EXPECT_EQ(timetable.customPlays[0].desc.id, "NULL");
  EXPECT_EQ(db.programmes.get("p1").songId, "NULL");
}

TEST_F(TargetsTest, ADeletedSignalIsReplacedEverywhereAtOnceOrNotDeletedAtAll) {
  {
    auto access = stores_.lock();
    AudioAsset song;
    song.filename = "song.mp3";
    song.storageCategory = AudioAssetCategory::PROGRAMME;
    access.db().songs.add(song, "song");
  }
  for (const char* refused : {"nothing", "ID_melody", "song"}) {
    EXPECT_EQ(trigger(std::string("deleteSignal/ID_melody?replaceWith=") + refused),
              std::string("Unknown replacement signal: ") + refused);
  }
  EXPECT_EQ(trigger("deleteSignal/ID_melody?replaceWith=ID_ring"), "ok");
  auto access = stores_.lock();
  const DB& db = access.db();
  EXPECT_FALSE(db.songs.contains("ID_melody"));
  const TimeTable& timetable = db.timetables.get("ID_factory_default_timetable");
  EXPECT_EQ(timetable.chA.startOfClass.id, "ID_ring");
  EXPECT_EQ(timetable.chB.endOfClass.id, "ID_ring");
}

TEST_F(TargetsTest, CalendarDeletesNamingTheEventRefuseAnotherOne) {
  trigger("addSingleEvent/0?timetableId=feb&startDate=2026-02-16&endDate=2026-02-20");
  trigger("addSingleEvent/0?timetableId=mar&startDate=2026-03-01&endDate=2026-03-01");
  trigger("addReoccurringEvent/0?timetableId=fri&mode=3&days=16");
  struct Case {
    const char* call;
    int status;
  };
  std::vector<Case> refused{
      {"deleteSingleEvent/1?expectTimetableId=mar", 409},
      {"deleteSingleEvent/0?expectStart=2026-02-16&expectEnd=2026-02-20", 409},
      {"deleteSingleEvent/0?expectTimetableId=mar&expectEnd=2026-03-02", 409},
      {"deleteSingleEvent/2?expectTimetableId=feb", 409},
      {"deleteSingleEvent/0?expectStart=March", 400},
      {"deleteReoccurringEvent/0?expectMode=1", 409},
      {"deleteReoccurringEvent/0?expectTimetableId=fri&expectDays=31", 409},
      {"deleteReoccurringEvent/0?expectDays=x", 400},
  };
  for (const auto& c : refused) {
    auto result = get(std::string("/api/trigger/") + c.call);
    EXPECT_EQ(result->status, c.status) << c.call;
    if (c.status == 409) {
      EXPECT_EQ(result->body, "The calendar changed; reload") << c.call;
    }
  }
  EXPECT_EQ(query("calendarInfo")["singleEvents"].size(), 2u);
  EXPECT_EQ(query("calendarInfo")["reoccurringEvents"].size(), 1u);

  EXPECT_EQ(trigger("deleteSingleEvent/1?expectTimetableId=feb&expectStart=2026-02-16&"
                    "expectEnd=2026-02-20"),
            "ok");
  EXPECT_EQ(query("calendarInfo")["singleEvents"][0]["timeTableId"], "mar");
  EXPECT_EQ(trigger("deleteReoccurringEvent/0?expectTimetableId=fri&expectMode=3&expectDays=16"),
            "ok");
  EXPECT_EQ(query("calendarInfo")["reoccurringEvents"].size(), 0u);
}

TEST_F(TargetsTest, CalendarEventsAreAddedInFrontAndDeletedByIndex) {
  EXPECT_EQ(trigger("addSingleEvent/0?timetableId=a&startDate=2026-03-01&endDate=2026-03-02"),
            "ok");
  EXPECT_EQ(trigger("addSingleEvent/0?timetableId=b&startDate=2026-04-01&endDate=2026-04-02"),
            "ok");
  EXPECT_EQ(query("calendarInfo")["singleEvents"][0]["timeTableId"], "b");
  EXPECT_EQ(trigger("deleteSingleEvent/0"), "ok");
  EXPECT_EQ(query("calendarInfo")["singleEvents"][0]["timeTableId"], "a");

  EXPECT_EQ(trigger("addReoccurringEvent/0?timetableId=r&mode=2&days=31"), "ok");
  EXPECT_EQ(query("calendarInfo")["reoccurringEvents"][0]["mode"], 2);

  struct Case {
    const char* call;
    const char* answer;
  };
  std::vector<Case> failures{
      {"deleteSingleEvent/5", "Index out of range: 5"},
      {"deleteSingleEvent/-1", "Index out of range: -1"},
      {"deleteReoccurringEvent/x", "Invalid integer for id: 'x'"},
      {"addSingleEvent/0?timetableId=a&startDate=2026-03-01", "Missing query argument: endDate"},
      {"addReoccurringEvent/0?timetableId=r&mode=two&days=1", "Invalid integer for mode: 'two'"},
  };
  for (const auto& c : failures)
    EXPECT_EQ(trigger(c.call), c.answer) << c.call;
  EXPECT_NE(trigger("addSingleEvent/0?timetableId=a&startDate=2026-02-30&endDate=2026-03-01"),
            "ok");
  EXPECT_NE(trigger("addReoccurringEvent/0?timetableId=r&mode=4&days=1"), "ok");
  EXPECT_EQ(query("calendarInfo")["singleEvents"].size(), 1u);
  EXPECT_EQ(query("calendarInfo")["reoccurringEvents"].size(), 1u);
}

TEST_F(TargetsTest, DeletingSignalsKeepsPackagedFilesAndRemovesUploadedOnes) {
  writeTextFile(userPath("u1.wav"), "wave");
  {
    AudioAsset asset;
    asset.filename = "u1.wav";
    stores_.lock().db().songs.add(asset, "u1");
  }
  EXPECT_EQ(trigger("deleteSignal/u1"), "ok");
  EXPECT_FALSE(std::filesystem::exists(userPath("u1.wav")));
  EXPECT_EQ(trigger("deleteSignal/ID_ping"), "ok");
  EXPECT_TRUE(std::filesystem::exists(assetPath("p-ping.mp3")));
  EXPECT_FALSE(stores_.lock().db().songs.contains("ID_ping"));
  EXPECT_EQ(trigger("deleteSignal/ID_ping"), "Unknown signal: ID_ping");

  EXPECT_EQ(trigger("deleteTimetable/ID_factory_default_timetable"), "ok");
  EXPECT_EQ(query("overview")["timetables"].size(), 0u);
  EXPECT_EQ(trigger("deleteTimetable/x"), "Unknown timetable: x");
}

TEST_F(TargetsTest, AnnouncementIsDownloadedThenPlayedAfterTheLeadIn) {
  stub_.setAnnouncement("a1", "spoken words");
  EXPECT_EQ(trigger("announce/a1"), "ok");
  EXPECT_EQ(readTextFile(userPath("announcement.mp3")), "spoken words");
  ASSERT_TRUE(stage_.waitForEvents(1));
  EXPECT_EQ(stage_.events()[0], "start " + assetPath("p-intercom.mp3"));
  ASSERT_TRUE(stage_.waitForEvents(3));
  EXPECT_EQ(stage_.events()[2], "start " + userPath("announcement.mp3"));

  EXPECT_EQ(trigger("announce/unknown"), "Failed to download announcement");
  EXPECT_EQ(trigger("announceProgrammed/unknown"), "Failed to download announcement");
}

TEST_F(TargetsTest, ProgrammedAnnouncementIsRegisteredUnderItsId) {
  stub_.setAnnouncement("a2", "programmed words");
  EXPECT_EQ(trigger("announceProgrammed/a2"), "ok");
  EXPECT_EQ(readTextFile(userPath("a2.mp3")), "programmed words");
  EXPECT_TRUE(stage_.events().empty());

  EXPECT_NE(trigger("scheduleProgrammedAnnouncement/a2?programName=Assembly&date=2026-02-30&"
                    "time=11:00"),
            "ok");
  EXPECT_FALSE(stores_.lock().db().songs.contains("a2"));
  EXPECT_EQ(trigger("scheduleProgrammedAnnouncement/a2?programName=Assembly&date=2026-03-10"),
            "Missing query argument: time");

  EXPECT_EQ(trigger("scheduleProgrammedAnnouncement/a2?programName=Assembly&date=2026-03-10&"
                    "time=11:00"),
            "ok");
  {
    auto access = stores_.lock();
    const AudioAsset& song = access.db().songs.get("a2");
    EXPECT_EQ(song.name, "Assembly");
    EXPECT_EQ(song.md5, md5Hex("programmed words"));
    EXPECT_EQ(song.storageCategory, AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT);
    EXPECT_EQ(access.db().programmes.get("a2").time, (TimeOfDay{11, 0, 0}));
  }
  EXPECT_EQ(trigger("scheduleProgrammedAnnouncement/a2?programName=Again&date=2026-03-10&"
                    "time=12:00"),
            "Key already exists");
  // Downloading again must not replace the registered announcement's file.
  stub_.setAnnouncement("a2", "other words");
  EXPECT_EQ(trigger("announceProgrammed/a2"), "Key already exists");
  EXPECT_EQ(readTextFile(userPath("a2.mp3")), "programmed words");
  EXPECT_EQ(trigger("scheduleProgrammedAnnouncement/missing?programName=x&date=2026-03-10&"
                    "time=12:00")
                    .find("missing.mp3") != std::string::npos,
            true);
}

TEST_F(TargetsTest, ADownloadInProgressBlocksNoOtherRequest) {
  stub_.setAnnouncement("slow", "words");
  stub_.setSilent(true);
  auto announcing = std::async(std::launch::async, [this] {
    httplib::Client other("127.0.0.1", port_);
    other.set_read_timeout(20, 0);
    auto result = other.Get("/api/trigger/announce/slow");
    return result ? result->body : std::string("no answer");
  });
  while (stub_.count("downloadAnnouncement") == 0)
    std::this_thread::yield();
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(get("/api/get/overview")->status, 200);
  EXPECT_EQ(get("/db")->status, 200);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  stub_.setSilent(false);
  EXPECT_EQ(announcing.get(), "ok");
}

}  // namespace
}  // namespace veltrano::test
