#include <gtest/gtest.h>

#include <fstream>

#include "audio/Alarm.hpp"
#include "audio/FakeFilePlayer.hpp"
#include "audio/SongPlayback.hpp"
#include "support/LogCapture.hpp"
#include "support/ReleasePaths.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

using test::FakePause;
using test::FakeStage;

class SongPlaybackTest : public ::testing::Test {
 protected:
  SongPlaybackTest() {
    std::filesystem::create_directories(dir_.path() / "bundle" / "assets");
    db_.loadFactoryDefault();
    db_.ensureFactorySongsAvailable();
    for (const char* name : {"alarm.mp3", "p-intercom.mp3", "p-ping.mp3"})
      touch(asset(name));
  }

  std::string asset(const std::string& name) { return paths_->getAssetPath(name).string(); }
  std::string userFile(const std::string& name) { return paths_->getUserFilePath(name).string(); }
  static void touch(const std::string& path) { std::ofstream(path) << "x"; }

  std::string addSong(const std::string& id, AudioAssetCategory category) {
    AudioAsset song;
    song.name = id;
    song.filename = id + ".mp3";
    song.storageCategory = category;
    db_.songs.add(song, id);
    touch(userFile(song.filename));
    return userFile(song.filename);
  }

  test::TempDir dir_;
  std::unique_ptr<Paths> paths_ = std::make_unique<Paths>(test::releasePathsIn(dir_.path()));
  DB db_;
  Clock clock_;
  FakeStage stage_;
  FakePause pause_;
  Player player_{clock_, stage_.factory(), pause_.function()};
  SongPlayback songs_{player_, *paths_};
};

TEST_F(SongPlaybackTest, BuiltInSignalsComeFromAssetsEverythingElseFromUserData) {
  EXPECT_EQ(songs_.getSongAssetPathById(db_, "ID_ping"), asset("p-ping.mp3"));
  std::string user = addSong("mine", AudioAssetCategory::USER_SIGNAL);
  EXPECT_EQ(songs_.getSongAssetPathById(db_, "mine"), user);
  EXPECT_THROW(songs_.getSongAssetPathById(db_, "nope"), std::out_of_range);
}

TEST_F(SongPlaybackTest, NullIdPlaysNothingUnknownIdFails) {
  PlayDesc desc;
  desc.doRepeat = true;
  EXPECT_EQ(songs_.playSongByDescriptor(db_, desc), nullptr);
  EXPECT_EQ(stage_.playersMade(), 0);
  EXPECT_THROW(songs_.playSongById(db_, "nope"), std::out_of_range);
}

TEST_F(SongPlaybackTest, DescriptorRepeatsOnlyWhenAsked) {
  PlayDesc once{"ID_ping", false, 3, 2.0};
  auto thread = songs_.playSongByDescriptor(db_, once);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->paths().size(), 1u);

  PlayDesc repeated{"ID_ping", true, 2, 1.0};
  thread = songs_.playSongByDescriptor(db_, repeated);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->paths(), std::vector<std::string>{asset("p-ping.mp3")});
  EXPECT_EQ(thread->rounds(), 2u);
  EXPECT_DOUBLE_EQ(thread->delay(), 1.0);
}

TEST_F(SongPlaybackTest, ProgrammedAnnouncementPlaysOnceAfterTheLeadInSignal) {
  std::string announcement = addSong("ann", AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT);
  auto thread = songs_.playSongById(db_, "ann", 5, 2.0);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->paths(), (std::vector<std::string>{asset("p-intercom.mp3"), announcement}));
  EXPECT_DOUBLE_EQ(thread->delay(), 0.0);

  db_.settings.announcementSignalId = "gone";
  thread = songs_.playAnnouncement(db_, announcement);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->paths(), std::vector<std::string>{announcement});
}

TEST_F(SongPlaybackTest, MissingLeadInFileBlocksTheAnnouncement) {
  std::filesystem::remove(asset("p-intercom.mp3"));
  test::LogCapture log;
  EXPECT_EQ(songs_.playAnnouncement(db_, userFile("a.mp3")), nullptr);
  EXPECT_TRUE(log.contains("ERROR: File does not exist: " + asset("p-intercom.mp3")));
}

TEST_F(SongPlaybackTest, AlarmTogglesAnEndlessRepeatWithItsPause) {
  Alarm alarm(songs_);
  db_.settings.alarmDelaySec = 5.0;
  stage_.setPolls(asset("alarm.mp3"), FakeStage::FOREVER);
  alarm.toggle(db_);
  EXPECT_TRUE(alarm.isActive());
  ASSERT_TRUE(stage_.waitForEvents(1));
  alarm.toggle(db_);
  EXPECT_FALSE(alarm.isActive());
  ASSERT_TRUE(stage_.waitForEvents(2));
  EXPECT_EQ(stage_.events().at(1), "close " + asset("alarm.mp3") + " aborted");
}

TEST_F(SongPlaybackTest, StopAllLeavesTheAlarmActiveUntilTheNextToggle) {
  Alarm alarm(songs_);
  stage_.setPolls(asset("alarm.mp3"), FakeStage::FOREVER);
  alarm.toggle(db_);
  player_.stopAllPlay();
  EXPECT_TRUE(alarm.isActive());
  EXPECT_FALSE(player_.isPlaying());
  alarm.toggle(db_);
  EXPECT_FALSE(alarm.isActive());
  alarm.toggle(db_);
  EXPECT_TRUE(alarm.isActive());
}

TEST_F(SongPlaybackTest, AlarmWithAMissingFileStaysOff) {
  std::filesystem::remove(asset("alarm.mp3"));
  test::LogCapture log;
  Alarm alarm(songs_);
  alarm.toggle(db_);
  EXPECT_FALSE(alarm.isActive());
  EXPECT_TRUE(log.contains("ERROR: File does not exist: "));
  db_.settings.alarmSignalId = "NULL";
  alarm.toggle(db_);
  EXPECT_FALSE(alarm.isActive());
}

}  // namespace
}  // namespace veltrano
