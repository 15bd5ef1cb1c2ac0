#include <gtest/gtest.h>

#include <fstream>

#include "audio/AudioFiles.hpp"
#include "audio/ChildProcesses.hpp"
#include "audio/Player.hpp"
#include "audio/ScopedEnv.hpp"
#include "audio/platform/FilePlayerFactory.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

// The real players against an ALSA device that writes the raw samples it is given to a file,
// so sound can be checked on a machine without a sound card.
class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"mpg123", "aplay"}) {
      if (!test::onPath(program)) {
        GTEST_SKIP() << program << " is not installed";
      }
    }
    std::ofstream(dir_.path() / ".asoundrc")
        << "pcm.!default { type file; slave.pcm \"null\"; file \"" << output().string()
        << "\"; format \"raw\" }\n"
        << "pcm.bell { type file; slave.pcm \"null\"; file \"" << bellOutput().string()
        << "\"; format \"raw\" }\n";
  }

  std::filesystem::path output() const { return dir_.path() / "out.raw"; }
  std::filesystem::path bellOutput() const { return dir_.path() / "bell.raw"; }

  // Plays the file to its end and returns the loudest sample that reached the device.
  int play(const std::string& file) {
    std::filesystem::remove(output());
    auto thread = player_.playAudioFile(file);
    EXPECT_NE(thread, nullptr);
    if (!thread) {
      return 0;
    }
    thread->waitForEnd();
    EXPECT_TRUE(test::childProcesses().empty());
    return std::filesystem::exists(output()) ? test::peakOfRawSamples(output()) : 0;
  }

  test::LogCapture log_;
  test::TempDir dir_;
  test::ScopedEnv home_{"HOME", dir_.path().string()};
  Clock clock_;
  Player player_{clock_, platformFilePlayerFactory()};
};

TEST_F(EndToEndTest, WaveFileReachesTheDevice) {
  std::string wave = (dir_.path() / "tone.wav").string();
  test::writeWave(wave, 44100, 2, 22050);  // half a second of 440 Hz
  EXPECT_GT(play(wave), 6000);
  EXPECT_FALSE(log_.contains("Failed"));
  EXPECT_TRUE(log_.contains("Playing: " + wave + " at "));
}

TEST_F(EndToEndTest, BuiltInPingReachesTheDevice) {
  std::filesystem::path ping = std::filesystem::path(VELTRANO_SOURCE_DIR) / "assets" / "p-ping.mp3";
  if (!std::filesystem::exists(ping)) {
    GTEST_SKIP() << ping << " is missing";
  }
  EXPECT_GT(play(ping.string()), 1000);
  EXPECT_FALSE(log_.contains("Failed"));
}

TEST_F(EndToEndTest, NamedDeviceGetsTheSoundAndABadNameIsALoggedFailure) {
  std::string wave = (dir_.path() / "tone.wav").string();
  test::writeWave(wave, 44100, 2, 22050);
  std::filesystem::path ping = std::filesystem::path(VELTRANO_SOURCE_DIR) / "assets" / "p-ping.mp3";
  auto device = std::make_shared<std::string>("bell");
  Player player(clock_, platformFilePlayerFactory(device));
  for (const std::string& file : {wave, ping.string()}) {
    std::filesystem::remove(bellOutput());
    player.playAudioFile(file)->waitForEnd();
    ASSERT_TRUE(std::filesystem::exists(bellOutput())) << file;
    EXPECT_GT(test::peakOfRawSamples(bellOutput()), 1000) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(output()));
  EXPECT_FALSE(log_.contains("Failed"));

  *device = "nosuchdev";
  for (const std::string& file : {wave, ping.string()}) {
    player.playAudioFile(file)->waitForEnd();
    EXPECT_TRUE(log_.contains("Failed to play the file: " + file + " - ")) << file;
  }
  EXPECT_TRUE(log_.contains("Unknown PCM nosuchdev"));
  EXPECT_TRUE(test::childProcesses().empty());
}

TEST_F(EndToEndTest, SilentFileStaysSilent) {
  // Guards the check above: a file of silence must not look like sound.
  std::string wave = (dir_.path() / "silence.wav").string();
  test::writeWave(wave, 44100, 2, 22050, 0.0);
  EXPECT_LT(play(wave), 10);
}

}  // namespace
}  // namespace veltrano
