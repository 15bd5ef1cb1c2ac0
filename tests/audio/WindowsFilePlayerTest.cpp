#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "audio/platform/WindowsFilePlayer.hpp"
#include "support/LogCapture.hpp"

namespace veltrano {
namespace {

// Answers MCI commands from a table: a command's code and reply, 0 and "" by default.
class FakeMci final : public MciApi {
 public:
  void answer(const std::string& command, std::uint32_t code, std::string reply = "") {
    std::lock_guard lock(mutex_);
    answers_[command] = {code, std::move(reply)};
  }
  std::vector<std::string> commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }

  std::uint32_t sendString(const std::string& command, std::string& reply) override {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
    auto found = answers_.find(command);
    if (found == answers_.end()) {
      reply.clear();
      return 0;
    }
    reply = found->second.second;
    return found->second.first;
  }
  std::string getErrorString(std::uint32_t code) override {
    return code == 263 ? "The specified device is not open or is not recognized by MCI."
                       : "Unknown problem while loading the specified device driver.";
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::pair<std::uint32_t, std::string>> answers_;
  std::vector<std::string> commands_;
};

using Commands = std::vector<std::string>;

class WindowsFilePlayerTest : public ::testing::Test {
 protected:
  WindowsFilePlayer makePlayer() { return WindowsFilePlayer(mci_, counter_); }

  test::LogCapture log_;
  std::shared_ptr<FakeMci> mci_ = std::make_shared<FakeMci>();
  std::shared_ptr<WindowsFilePlayer::AliasCounter> counter_ =
      std::make_shared<WindowsFilePlayer::AliasCounter>(0);
};

TEST_F(WindowsFilePlayerTest, PlaysOneFileWithTheMciCommandSequence) {
  auto player = makePlayer();
  player.startPlay("C:\\Bells\\ping.mp3");
  mci_->answer("status veltranoSong0 mode", 0, "playing");
  EXPECT_TRUE(player.isPlaying());
  mci_->answer("status veltranoSong0 mode", 0, "paused");
  EXPECT_FALSE(player.isPlaying());  // only the exact reply counts
  player.closeFile(false);

  EXPECT_EQ(mci_->commands(), (Commands{"open \"C:\\Bells\\ping.mp3\" alias veltranoSong0",
                                        "play veltranoSong0", "status veltranoSong0 mode",
                                        "status veltranoSong0 mode", "close veltranoSong0"}));
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(WindowsFilePlayerTest, EveryFileGetsAFreshAliasAcrossPlayers) {
  auto first = makePlayer();
  auto second = makePlayer();
  first.startPlay("a.mp3");
  EXPECT_EQ(first.alias(), "veltranoSong0");
  second.startPlay("b.mp3");
  EXPECT_EQ(second.alias(), "veltranoSong1");
  first.closeFile(false);
  first.startPlay("c.mp3");  // the same player opening its next file
  EXPECT_EQ(first.alias(), "veltranoSong2");
  first.closeFile(true);
  EXPECT_EQ(mci_->commands().back(), "close veltranoSong2");
}

TEST_F(WindowsFilePlayerTest, FailedOpenUsesUpItsNumberAndReportsTheMultiLineError) {
  mci_->answer("open \"missing.mp3\" alias veltranoSong0", 263);
  auto player = makePlayer();
  std::string expected =
      "\n    Error 263 for command:\n        open \"missing.mp3\" alias veltranoSong0\n    "
      "The specified device is not open or is not recognized by MCI.";
  try {
    player.startPlay("missing.mp3");
    FAIL() << "open should fail";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), expected);
  }
  EXPECT_EQ(log_.lines(), (std::vector<std::string>{expected}));
  EXPECT_EQ(mci_->commands(), (Commands{"open \"missing.mp3\" alias veltranoSong0"}));

  player.startPlay("next.mp3");
  EXPECT_EQ(player.alias(), "veltranoSong1");
}

TEST_F(WindowsFilePlayerTest, FailedPlayClosesTheOpenedDeviceAndReportsThePlayError) {
  mci_->answer("play veltranoSong0", 277);
  auto player = makePlayer();
  try {
    player.startPlay("a.mp3");
    FAIL() << "play should fail";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "\n    Error 277 for command:\n        play veltranoSong0\n    "
              "Unknown problem while loading the specified device driver.");
  }
  EXPECT_EQ(mci_->commands(), (Commands{"open \"a.mp3\" alias veltranoSong0", "play veltranoSong0",
                                        "close veltranoSong0"}));
}

}  // namespace
}  // namespace veltrano
