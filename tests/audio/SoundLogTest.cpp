#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "audio/FakeFilePlayer.hpp"
#include "audio/SongPlayback.hpp"
#include "audio/SoundLog.hpp"
#include "domain/LocalSecond.hpp"
#include "support/LogCapture.hpp"
#include "support/ReleasePaths.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

using test::FakeStage;

constexpr long long NOW_MS = 1773046800123;  // 2026-03-09, some hour of the day, .123

class SoundLogTest : public ::testing::Test {
 protected:
  SoundLogTest() {
    db_.loadFactoryDefault();
    for (const char* id : {"ok", "broken", "dies", "hangs"}) {
      AudioAsset song;
      song.name = std::string("Song ") + id;
      song.filename = std::string(id) + ".mp3";
      db_.songs.add(song, id);
      std::ofstream(paths_.getUserFilePath(song.filename)) << "x";
    }
    AudioAsset gone;
    gone.name = "Gone";
    gone.filename = "gone.mp3";
    db_.songs.add(gone, "gone");
  }

  std::string userFile(const std::string& name) { return paths_.getUserFilePath(name).string(); }
  static SoundLog::WallClock fixedClock() {
    return [] { return std::chrono::system_clock::time_point(std::chrono::milliseconds(NOW_MS)); };
  }

  test::LogCapture capture_;
  test::TempDir dir_;
  Paths paths_{test::releasePathsIn(dir_.path())};
  DB db_;
  Clock clock_;
  test::FakeStage stage_;
  test::FakePause pause_;
  SoundLog log_{dir_.path() / "history", fixedClock()};
  // Every file is 5 s long; the playback threads see the seconds the test sets.
  std::atomic<int> steadySeconds_{0};
  OverrunWatch watch_{
      [](const std::string&) { return 5; },
      [this] {
        return std::chrono::steady_clock::time_point(std::chrono::seconds(steadySeconds_.load()));
      }};
  Player player_{clock_, stage_.factory(), pause_.function(), watch_};
  SongPlayback songs_{player_, paths_, &log_};
};

TEST_F(SoundLogTest, EveryStartAndEveryFailureIsLoggedWithItsCause) {
  stage_.failStart(userFile("broken.mp3"), "no sound device");
  stage_.failPolling(userFile("dies.mp3"), "mpg123 failed with exit status 1");
  const ClockValue due = clockValueFromEpoch(NOW_MS / 1000 - 2);
  const SoundCause lesson{SoundSource::LESSON_START, "tt", due};

  songs_.playSongById(db_, "ok", 1, 0.0, lesson)->waitForEnd();
  songs_.playSongById(db_, "broken")->waitForEnd();
  songs_.playSongById(db_, "dies", 1, 0.0, SoundCause{SoundSource::ALARM, "", std::nullopt})
      ->waitForEnd();
  EXPECT_EQ(songs_.playSongById(db_, "gone", 1, 0.0, lesson), nullptr);
  EXPECT_THROW(songs_.playSongById(db_, "nothing-like-it", 1, 0.0, lesson), KeyError);

  Json entries = log_.entriesOf(Date::fromTimeStruct(due));
  std::vector<std::string> lines;
  for (const Json& entry : entries) {
    lines.push_back(entry["source"].get<std::string>() + " " +
                    entry["signalId"].get<std::string>() + " " +
                    entry["outcome"].get<std::string>() + " " + entry.value("reason", ""));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "lessonStart ok started ",
                       "signal broken failed player failed: no sound device",
                       "alarm dies started ",
                       "alarm dies failed player failed: mpg123 failed with exit status 1",
                       "lessonStart gone failed missing file: gone.mp3",
                       "lessonStart nothing-like-it failed unknown signal",
                   }));
  const Json& first = entries.at(0);
  EXPECT_EQ(first["name"], "Song ok");
  EXPECT_EQ(first["timetable"], "tt");
  EXPECT_EQ(first["lateMs"], 2123) << "started 2.123 s after the second it was due";
  EXPECT_TRUE(first["started"].get<std::string>().ends_with(".123"));
  EXPECT_TRUE(entries.at(1)["due"].is_null());
  EXPECT_TRUE(entries.at(1)["started"].is_null());
  EXPECT_EQ(log_.lastSound(), entries.back());
}

TEST_F(SoundLogTest, ARepetitionThatHangsPastItsLengthIsEndedAndLoggedAsFailed) {
  const std::string hangs = userFile("hangs.mp3");
  pause_.hold(true);
  auto alarm = songs_.playSongById(db_, "hangs", INFINITE_REPEAT, 1.0,
                                   SoundCause{SoundSource::ALARM, "", std::nullopt});
  ASSERT_TRUE(pause_.waitForPauses(1));  // the first round ended by itself
  // The second round starts at 100 s: its own length counts from there, not from the first.
  steadySeconds_ = 100;
  stage_.setPolls(hangs, FakeStage::FOREVER);
  pause_.hold(false);
  ASSERT_TRUE(stage_.waitForEvents(3));
  EXPECT_TRUE(alarm->isAlive());
  EXPECT_TRUE(player_.isPlaying());
  steadySeconds_ = 100 + 5 + 10 + 1;
  alarm->waitForEnd();

  EXPECT_FALSE(player_.isPlaying());
  EXPECT_EQ(stage_.events(),
            (std::vector<std::string>{"start " + hangs, "close " + hangs + " ended",
                                      "start " + hangs, "close " + hangs + " aborted"}));
  EXPECT_TRUE(capture_.contains("Failed to play the file: " + hangs + " - ran past its length"));
  Json entries = log_.entriesOf(Date::fromTimeStruct(clockValueFromEpoch(NOW_MS / 1000)));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["outcome"], "started");
  EXPECT_EQ(entries[1]["outcome"], "failed");
  EXPECT_EQ(entries[1]["reason"], "ran past its length");
}

TEST_F(SoundLogTest, OldDaysGoAndAnUnwritableLogNeitherThrowsNorRepeatsItself) {
  const Date today = Date::fromTimeStruct(clockValueFromEpoch(NOW_MS / 1000));
  std::filesystem::create_directories(dir_.path() / "history");
  for (int daysAgo : {SOUND_LOG_KEEP_DAYS, SOUND_LOG_KEEP_DAYS + 1})
    std::ofstream(log_.fileOf(today.plusDays(-daysAgo))) << "{}\n";
  log_.record(SoundEntry{SoundCause{SoundSource::SIGNAL, "", std::nullopt}, NOW_MS, "ok", "Song ok",
                         std::nullopt, std::nullopt});
  EXPECT_EQ(log_.entriesOf(today).size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(log_.fileOf(today.plusDays(-SOUND_LOG_KEEP_DAYS))));
  EXPECT_FALSE(std::filesystem::exists(log_.fileOf(today.plusDays(-SOUND_LOG_KEEP_DAYS - 1))));

  // A file where the directory should be: nothing can be written there.
  std::ofstream(dir_.path() / "blocked") << "x";
  SoundLog blocked(dir_.path() / "blocked", fixedClock());
  for (int i = 0; i < 3; ++i)
    blocked.record(SoundEntry{SoundCause{SoundSource::SIGNAL, "", std::nullopt}, NOW_MS, "ok", "",
                              std::nullopt, std::nullopt});
  EXPECT_TRUE(blocked.entriesOf(today).empty());
  const auto lines = capture_.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) {
                            return line.find("The sound log cannot be written") != line.npos;
                          }),
            1);
  EXPECT_EQ(blocked.lastSound()["signalId"], "ok") << "the last sound is still known";
}

// A day's file as a power loss or a filled disk may leave it: a 30 MB line, a cut line, a
// blank one. The day answers its whole entries, the start-up finds the newest.
TEST_F(SoundLogTest, OverlongAndCutLinesAreSkippedAndTheNewestEntryIsFoundFromTheEnd) {
  const Date today = Date::fromTimeStruct(clockValueFromEpoch(NOW_MS / 1000));
  std::filesystem::create_directories(dir_.path() / "history");
  {
    std::ofstream(log_.fileOf(today.plusDays(-1))) << R"({"signalId": "yesterday"})" << "\n";
    std::ofstream day(log_.fileOf(today), std::ios::binary);
    day << R"({"signalId": "first"})" << "\n{\"name\": \"" << std::string(30'000'000, 'x')
        << "\"}\n" << R"({"signalId": "second"})" << "\n\n" << std::string(MAX_LOG_LINE_BYTES, ' ')
        << R"({"signalId": "over"})" << "\n" << R"({"signalId": "cut)";
  }
  Json entries = log_.entriesOf(today);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]["signalId"], "first");
  EXPECT_EQ(entries[1]["signalId"], "second");
  EXPECT_EQ(SoundLog(dir_.path() / "history", fixedClock()).lastSound(), entries[1]);
}

}  // namespace
}  // namespace veltrano
