#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "audio/FakeFilePlayer.hpp"
#include "audio/Player.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

using test::FakePause;
using test::FakeStage;
using Events = std::vector<std::string>;

ClockValue morning() {
  ClockValue v;
  v.tm_year = 2026;
  v.tm_mon = 3;
  v.tm_mday = 9;
  v.tm_hour = 8;
  v.tm_min = 5;
  v.tm_sec = 30;
  return v;
}

std::size_t countContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
    return l.find(text) != std::string::npos;
  }));
}

class PlayerTest : public ::testing::Test {
 protected:
  std::string file(const std::string& name) {
    auto path = dir_.path() / name;
    std::ofstream(path) << "x";
    return path.string();
  }

  test::LogCapture log_;
  test::TempDir dir_;
  Clock clock_{morning};
  FakeStage stage_;
  FakePause pause_;
  Player player_{clock_, stage_.factory(), pause_.function()};
};

TEST_F(PlayerTest, PlaysOneFileOnceAndLeavesTheList) {
  std::string a = file("a.mp3");
  auto thread = player_.playAudioFile(a);
  ASSERT_NE(thread, nullptr);
  thread->waitForEnd();

  EXPECT_EQ(stage_.events(), (Events{"start " + a, "close " + a + " ended"}));
  EXPECT_TRUE(pause_.lengths().empty());
  EXPECT_FALSE(player_.isPlaying());
  EXPECT_FALSE(thread->isAlive());
  EXPECT_TRUE(log_.contains("Playing: " + a + " at 2026-03-09 08:05:30"));
  EXPECT_EQ(stage_.playersMade(), 1);
}

TEST_F(PlayerTest, RepeatsWithPausesBetweenButNotAfterTheLast) {
  std::string a = file("a.mp3");
  stage_.setPolls(a, 2);
  auto thread = player_.playAudioFile(a, 3, 2.0);
  ASSERT_NE(thread, nullptr);
  thread->waitForEnd();

  Events once{"start " + a, "close " + a + " ended"};
  Events expected;
  for (int i = 0; i < 3; ++i) {
    expected.insert(expected.end(), once.begin(), once.end());
  }
  EXPECT_EQ(stage_.events(), expected);
  EXPECT_EQ(pause_.lengths(), (std::vector<double>{2.0, 2.0}));
  EXPECT_EQ(countContaining(log_.lines(), "Playing: "), 3u);
  EXPECT_EQ(stage_.playersMade(), 1);  // one file player serves the whole thread
}

TEST_F(PlayerTest, CountsOfZeroOrBelowPlayNothing) {
  std::string a = file("a.mp3");
  for (int count : {0, -5, -2}) {
    auto thread = player_.playAudioFile(a, count, 1.0);
    ASSERT_NE(thread, nullptr) << count;
    EXPECT_TRUE(thread->paths().empty()) << count;
    EXPECT_FALSE(thread->infiniteRepeat()) << count;
    thread->waitForEnd();
    EXPECT_FALSE(player_.isPlaying()) << count;
  }
  EXPECT_TRUE(stage_.events().empty());
  EXPECT_EQ(countContaining(log_.lines(), "Playing: "), 0u);
}

TEST_F(PlayerTest, EndlessRepeatOfAnEmptyListEndsAtOnce) {
  auto thread = player_.playFiles({}, 1.0, true);
  ASSERT_NE(thread, nullptr);
  thread->waitForEnd();
  EXPECT_TRUE(stage_.events().empty());
  EXPECT_TRUE(pause_.lengths().empty());
}

TEST_F(PlayerTest, MissingFileStopsTheWholeQueueBeforeItStarts) {
  std::string a = file("a.mp3");
  std::string b = (dir_.path() / "b.mp3").string();
  std::string c = (dir_.path() / "c.mp3").string();  // missing as well; only b is reported
  EXPECT_EQ(player_.playAudioQueue({a, b, c}), nullptr);

  EXPECT_FALSE(player_.isPlaying());
  EXPECT_EQ(stage_.playersMade(), 0);
  auto lines = log_.lines();
  EXPECT_EQ(countContaining(lines, "ERROR: File does not exist: "), 1u);
  EXPECT_TRUE(log_.contains("ERROR: File does not exist: " + b));
}

TEST_F(PlayerTest, QueuePlaysInOrderWithItsDelay) {
  std::string a = file("a.mp3"), b = file("b.wav");
  auto thread = player_.playAudioQueue({a, b}, 0.5);
  ASSERT_NE(thread, nullptr);
  thread->waitForEnd();
  EXPECT_EQ(stage_.events(),
            (Events{"start " + a, "close " + a + " ended", "start " + b, "close " + b + " ended"}));
  EXPECT_EQ(pause_.lengths(), (std::vector<double>{0.5}));
}

TEST_F(PlayerTest, EndlessRepeatPausesAfterEveryFileUntilAborted) {
  std::string a = file("a.mp3");
  auto thread = player_.playAudioFile(a, INFINITE_REPEAT, 3.0);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(thread->infiniteRepeat());
  ASSERT_TRUE(stage_.waitForEvents(6));  // three plays done
  thread->abortPlay();
  thread->waitForEnd();

  auto events = stage_.events();
  ASSERT_GE(events.size(), 6u);
  for (std::size_t i = 0; i < events.size(); i += 2) {
    EXPECT_EQ(events[i], "start " + a);
  }
  EXPECT_EQ(events.size() % 2, 0u);
  // Every finished file is followed by a pause, the last one included.
  EXPECT_EQ(pause_.lengths().size(), events.size() / 2);
  for (double length : pause_.lengths()) {
    EXPECT_EQ(length, 3.0);
  }
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, AbortStopsThePlayingFileAndSkipsTheRest) {
  std::string a = file("a.mp3"), b = file("b.mp3");
  stage_.setPolls(a, FakeStage::FOREVER);
  auto thread = player_.playAudioQueue({a, b});
  ASSERT_TRUE(stage_.waitForEvents(1));
  EXPECT_TRUE(player_.isPlaying());
  thread->abortPlay();
  thread->waitForEnd();

  EXPECT_EQ(stage_.events(), (Events{"start " + a, "close " + a + " aborted"}));
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, AbortDuringAPauseTakesEffectWhenThePauseIsOver) {
  std::string a = file("a.mp3");
  pause_.hold();
  auto thread = player_.playAudioFile(a, 3, 10.0);
  ASSERT_TRUE(pause_.waitForPauses(1));

  player_.stopAll();
  EXPECT_FALSE(player_.isPlaying());  // the list is empty at once
  EXPECT_TRUE(thread->isAlive());     // while the thread still sits in its pause
  EXPECT_TRUE(thread->doAbort());

  pause_.release();
  thread->waitForEnd();
  EXPECT_EQ(stage_.events(), (Events{"start " + a, "close " + a + " ended"}));
  EXPECT_EQ(pause_.lengths().size(), 1u);
}

TEST_F(PlayerTest, StartFailureEndsThePlaybackAfterEarlierFiles) {
  std::string a = file("a.mp3"), b = file("b.ogg"), c = file("c.mp3");
  stage_.failStart(b, "Unsupported file format: .ogg");
  auto thread = player_.playAudioQueue({a, b, c});
  thread->waitForEnd();

  EXPECT_EQ(stage_.events(), (Events{"start " + a, "close " + a + " ended", "start " + b}));
  auto lines = log_.lines();
  EXPECT_EQ(countContaining(lines, "Failed to play the file: "), 1u);
  EXPECT_TRUE(log_.contains("Failed to play the file: " + b + " - Unsupported file format: .ogg"));
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, CloseFailureIsLoggedAndPlaybackGoesOn) {
  std::string a = file("a.mp3"), b = file("b.mp3");
  stage_.failClose(a, "device gone");
  auto thread = player_.playAudioQueue({a, b});
  thread->waitForEnd();

  EXPECT_EQ(stage_.events(),
            (Events{"start " + a, "close " + a + " ended", "start " + b, "close " + b + " ended"}));
  EXPECT_TRUE(log_.contains("Failed to close file: " + a + " - device gone"));
}

TEST_F(PlayerTest, FailureWhilePlayingEndsOnlyThatThreadAndLeavesTheList) {
  std::string a = file("a.mp3"), b = file("b.mp3"), c = file("c.mp3");
  stage_.failPolling(a, "status query failed");
  stage_.setPolls(c, FakeStage::FOREVER);
  auto other = player_.playAudioFile(c);
  ASSERT_TRUE(stage_.waitForEvents(1));

  auto failing = player_.playAudioQueue({a, b});
  failing->waitForEnd();

  EXPECT_TRUE(log_.contains("Failed to play the file: " + a + " - status query failed"));
  auto events = stage_.events();
  EXPECT_NE(std::find(events.begin(), events.end(), "close " + a + " aborted"), events.end());
  EXPECT_EQ(std::find(events.begin(), events.end(), "start " + b), events.end());
  EXPECT_TRUE(other->isAlive());
  EXPECT_TRUE(player_.isPlaying());  // only the other thread is left

  other->abortPlay();
  other->waitForEnd();
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, StopAllEmptiesTheListAndLateEndsChangeNothing) {
  std::string a = file("a.mp3"), b = file("b.mp3"), c = file("c.mp3");
  stage_.setPolls(a, FakeStage::FOREVER);
  stage_.setPolls(b, FakeStage::FOREVER);
  stage_.setPolls(c, FakeStage::FOREVER);
  auto first = player_.playAudioFile(a);
  auto second = player_.playAudioFile(b);
  ASSERT_TRUE(stage_.waitForEvents(2));

  player_.stopAllPlay();
  EXPECT_FALSE(player_.isPlaying());

  auto third = player_.playAudioFile(c);
  first->waitForEnd();
  second->waitForEnd();
  // The aborted threads' end notifications must not take the new one off the list.
  EXPECT_TRUE(player_.isPlaying());
  EXPECT_TRUE(third->isAlive());

  auto events = stage_.events();
  EXPECT_NE(std::find(events.begin(), events.end(), "close " + a + " aborted"), events.end());
  EXPECT_NE(std::find(events.begin(), events.end(), "close " + b + " aborted"), events.end());
}

TEST_F(PlayerTest, StopAllSkipsThreadsThatHaveEnded) {
  std::string a = file("a.mp3");
  auto done = player_.playAudioFile(a);
  done->waitForEnd();
  player_.stopAll();
  EXPECT_FALSE(done->doAbort());
}

TEST(PlayerLifetime, PlayersSideBySideAreIndependentAndJoinOnDestruction) {
  test::LogCapture log;
  test::TempDir dir;
  std::string a = (dir.path() / "a.mp3").string();
  std::ofstream(a) << "x";
  Clock clock{morning};
  FakeStage stageOne, stageTwo;
  stageOne.setPolls(a, FakeStage::FOREVER);
  stageTwo.setPolls(a, FakeStage::FOREVER);

  auto two = std::make_unique<Player>(clock, stageTwo.factory());
  std::shared_ptr<PlayerThread> kept;
  {
    Player one(clock, stageOne.factory());
    kept = one.playAudioFile(a, INFINITE_REPEAT, 3600.0);
    two->playAudioFile(a);
    ASSERT_TRUE(stageOne.waitForEvents(1));
    ASSERT_TRUE(stageTwo.waitForEvents(1));
    EXPECT_TRUE(one.isPlaying());
    EXPECT_TRUE(two->isPlaying());
    one.stopAll();
    EXPECT_FALSE(one.isPlaying());
    EXPECT_TRUE(two->isPlaying());
  }
  // The destructor waited for its thread, and the hour-long real pause did not hold it up.
  EXPECT_FALSE(kept->isAlive());
  EXPECT_EQ(stageOne.events().back(), "close " + a + " aborted");
  EXPECT_TRUE(two->isPlaying());

  two.reset();  // aborts the endless file
  EXPECT_EQ(stageTwo.events(), (Events{"start " + a, "close " + a + " aborted"}));
}

TEST(PlayerLifetime, RealPauseEndsOnShutdownOnly) {
  std::stop_source source;
  auto started = std::chrono::steady_clock::now();
  std::jthread stopper([&] { source.request_stop(); });
  sleepUnlessShutdown(std::chrono::hours(1), source.get_token());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

  // Without a shutdown a short pause runs its full length.
  started = std::chrono::steady_clock::now();
  sleepUnlessShutdown(std::chrono::milliseconds(20), std::stop_token{});
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(20));
}

TEST_F(PlayerTest, ConcurrentCallersKeepTheListConsistent) {
  std::string a = file("a.mp3");
  std::mutex startedMutex;
  std::vector<std::shared_ptr<PlayerThread>> started;
  std::vector<std::jthread> callers;
  for (int caller = 0; caller < 4; ++caller) {
    callers.emplace_back([&, caller] {
      for (int i = 0; i < 25; ++i) {
        auto thread = player_.playAudioFile(a, 2);
        if (thread) {
          std::lock_guard lock(startedMutex);
          started.push_back(thread);
        }
        if (caller == 0 && i % 5 == 0) {
          player_.stopAll();
        }
        (void)player_.isPlaying();
      }
    });
  }
  callers.clear();
  ASSERT_EQ(started.size(), 100u);
  for (const auto& thread : started) {
    thread->waitForEnd();
  }
  // Every thread has left the list, whether it ended by itself or was stopped.
  EXPECT_FALSE(player_.isPlaying());
}

}  // namespace
}  // namespace veltrano
