#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "SchedulerFixture.hpp"
#include "audio/AudioFiles.hpp"
#include "audio/ChildProcesses.hpp"
#include "audio/ScopedEnv.hpp"
#include "audio/platform/FilePlayerFactory.hpp"

namespace veltrano {
namespace {

// Bells rung by the scheduler through the real mpg123 and aplay into an ALSA device that
// writes the samples it gets to a file: the round before a bell readies its player, the
// bell's own round hands it the file.
class RealAudioBellTest : public test::SchedulerFixture {
 protected:
  void SetUp() override {
    for (const char* program : {"mpg123", "aplay"}) {
      if (!test::onPath(program))
        GTEST_SKIP() << program << " is not installed";
    }
    std::ofstream(dir_.path() / ".asoundrc") << "pcm.bell { type file; slave.pcm \"null\"; file \""
                                             << output().string() << "\"; format \"raw\" }\n";
    const auto ping = std::filesystem::path(VELTRANO_SOURCE_DIR) / "assets" / "p-ping.mp3";
    std::filesystem::copy_file(ping, paths_.getUserFilePath("ping.mp3"));
    test::writeWave(paths_.getUserFilePath("tone.wav"), 44100, 2, 22050);
    auto access = stores_.lock();
    DB& db = access.db();
    for (const char* file : {"ping.mp3", "tone.wav"}) {
      AudioAsset song;
      song.name = file;
      song.filename = file;
      db.songs.add(song, std::filesystem::path(file).stem().string());
    }
    db.settings.calendar.workdayMode = WorkdayMode::EVERY_DAY;
    db.settings.defaultTimetableId = "tt";
    TimeTable bells = timetable({});
    bells.customPlays = {{PlayDesc{"ping"}, {TimeOfDay{8, 0, 0}}},
                         {PlayDesc{"tone"}, {TimeOfDay{8, 0, 2}}}};
    db.timetables.add(bells, "tt");
    realPlayer_.warmUpWith(platform_.warmUp);
  }

  std::filesystem::path output() const { return dir_.path() / "bell.raw"; }

  // The names of this process's children that are still running.
  static std::vector<std::string> runningChildren() {
    std::vector<std::string> names;
    for (const auto& child : test::childProcesses()) {
      if (child.state != 'Z')
        names.push_back(child.name);
    }
    return names;
  }

  // Waits, at most ten seconds, until the only running child is the program.
  static bool readied(const std::string& program) {
    for (int i = 0; i < 1000 && runningChildren() != std::vector<std::string>{program}; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return runningChildren() == std::vector<std::string>{program};
  }

  // Waits, at most ten seconds, until nothing plays; the players run in real time.
  bool quietWithin() const {
    for (int i = 0; i < 1000 && realPlayer_.isPlaying(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !realPlayer_.isPlaying();
  }

  test::ScopedEnv home_{"HOME", dir_.path().string()};
  PlatformFilePlayers platform_ = platformFilePlayers(std::make_shared<std::string>("bell"));
  Player realPlayer_{clock_, platform_.factory};
  SongPlayback realPlayback_{realPlayer_, paths_, &soundLog_};
  Scheduler realScheduler_{stores_, clock_, realPlayback_, [] {}};
};

TEST_F(RealAudioBellTest, EachBellSoundsInItsSecondFromAPlayerReadiedTheSecondBefore) {
  struct Bell {
    const char* before;
    const char* second;
    const char* program;
    bool held;  // decided ahead, its sound held until the round's end (see Player::StartHold)
    std::uintmax_t wholeFile;  // bytes of samples the device gets at least
  };
  for (const Bell& bell : {Bell{"07:59:59", "08:00:00", "mpg123", false, 0},
                           Bell{"08:00:01", "08:00:02", "aplay", true, 22050 * 4}}) {
    std::filesystem::remove(output());
    setClock(test::clockAt("2026-03-09", bell.before));
    realScheduler_.runRound();
    EXPECT_TRUE(readied(bell.program)) << bell.second;
    EXPECT_FALSE(realPlayer_.isPlaying());

    setClock(test::clockAt("2026-03-09", bell.second));
    if (bell.held) {
      Player::StartHold hold = realPlayer_.holdStarts();
      realScheduler_.runRound();
    } else {
      realScheduler_.runRound();
    }
    ASSERT_TRUE(quietWithin()) << bell.second;
    ASSERT_TRUE(std::filesystem::exists(output())) << bell.second;
    EXPECT_GT(test::peakOfRawSamples(output()), 1000) << bell.second;
    EXPECT_GE(std::filesystem::file_size(output()), bell.wholeFile) << bell.second;
  }
  EXPECT_TRUE(runningChildren().empty());
  Json entries = soundLog_.entriesOf(Date{2026, 3, 9});
  ASSERT_EQ(entries.size(), 2u) << entries.dump();
  for (const Json& entry : entries) {
    EXPECT_EQ(entry["outcome"], "started") << entry.dump();
    EXPECT_EQ(entry["lateMs"], 0) << entry.dump();
  }
  EXPECT_FALSE(log_.contains("Failed"));
  EXPECT_FALSE(log_.contains("ended before it was needed"));
}

}  // namespace
}  // namespace veltrano
