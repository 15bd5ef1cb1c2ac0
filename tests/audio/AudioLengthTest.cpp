#include <gtest/gtest.h>

#include "audio/AudioFiles.hpp"
#include "audio/platform/AudioLength.hpp"
#include "foundation/ProcessRunner.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

class AudioLengthTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return (dir_.path() / name).string(); }

  test::TempDir dir_;
};

TEST_F(AudioLengthTest, WaveLengthsRoundToTheNearestWithTiesToEven) {
  struct Case {
    std::uint32_t rate;
    std::uint32_t frames;
    int seconds;
  };
  for (const Case& c : std::vector<Case>{{8000, 724000, 90},  // 90.5
                                         {8000, 732000, 92},  // 91.5
                                         {8000, 20000, 2},    // 2.5
                                         {8000, 28000, 4},    // 3.5
                                         {8000, 723999, 90},  // just below 90.5
                                         {8000, 724001, 91},  // just above
                                         {44100, 88200, 2},   // 2.0 at CD rate
                                         {8000, 3200, 0}}) {  // 0.4
    std::string file = path("tone.wav");
    test::writeWave(file, c.rate, 1, c.frames, 0.0);
    EXPECT_EQ(getAudioLength(file), c.seconds) << c.frames << " frames at " << c.rate;
  }
}

TEST_F(AudioLengthTest, ExtensionDecidesAndCaseDoesNotMatter) {
  test::writeWave(path("LOUD.WAV"), 8000, 2, 24000);
  EXPECT_EQ(getAudioLength(path("LOUD.WAV")), 3);
  // A readable WAVE file under another name is not read.
  test::writeWave(path("tone.ogg"), 8000, 1, 24000);
  EXPECT_EQ(getAudioLength(path("tone.ogg")), -1);
  test::writeWave(path("tone"), 8000, 1, 24000);
  EXPECT_EQ(getAudioLength(path("tone")), -1);
}

TEST_F(AudioLengthTest, AnythingUnreadableIsMinusOne) {
  std::ofstream(path("garbage.wav")) << "not a wave file at all";
  std::ofstream(path("empty.mp3")) << "";
  std::ofstream(path("garbage.mp3")) << std::string(5000, 'x');
  std::filesystem::create_directories(path("folder.mp3"));
  for (const std::string& file :
       {path("missing.wav"), path("missing.mp3"), path("garbage.wav"), path("empty.mp3"),
        path("garbage.mp3"), path("folder.mp3"), std::string()}) {
    EXPECT_EQ(getAudioLength(file), -1) << file;
  }
}

TEST_F(AudioLengthTest, Mp3LengthComesFromTheStream) {
  if (!test::onPath("lame")) {
    GTEST_SKIP() << "lame is not installed";
  }
  struct Case {
    std::uint32_t frames;
    std::string name;
    int seconds;
  };
  for (const Case& c :
       std::vector<Case>{{3 * 44100, "TONE.MP3", 3}, {7 * 44100 + 13230, "b.mp3", 7}}) {
    test::writeWave(path("source.wav"), 44100, 1, c.frames);
    auto outcome = runProcess({"lame", "--quiet", path("source.wav"), path(c.name)});
    ASSERT_TRUE(outcome.started && outcome.exitStatus == 0) << c.name;
    EXPECT_EQ(getAudioLength(path(c.name)), c.seconds) << c.name;
  }
}

}  // namespace
}  // namespace veltrano
