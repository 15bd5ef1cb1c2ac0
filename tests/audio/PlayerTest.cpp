#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <thread>

#include "audio/FakeFilePlayer.hpp"
#include "audio/Player.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

using test::FakeStage;
using Events = std::vector<std::string>;
constexpr int FOREVER = FakeStage::FOREVER;

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

Events played(const std::string& path, int times) {
  Events events;
  for (int i = 0; i < times; ++i) {
    events.insert(events.end(), {"start " + path, "close " + path + " ended"});
  }
  return events;
}

bool has(const Events& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
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
  test::FakePause pause_;
  Player player_{clock_, stage_.factory(), pause_.function()};
};

TEST_F(PlayerTest, RepeatsWithPausesBetweenButNotAfterTheLast) {
  std::string a = file("a.mp3");
  stage_.setPolls(a, 2);
  auto thread = player_.playAudioFile(a, 3, 2.0);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(player_.isPlaying());
  thread->waitForEnd();

  EXPECT_EQ(stage_.events(), played(a, 3));
  EXPECT_EQ(pause_.lengths(), (std::vector<double>{2.0, 2.0}));
  EXPECT_EQ(log_.lines(), Events(3, "Playing: " + a + " at 2026-03-09 08:05:30"));
  EXPECT_EQ(stage_.playersMade(), 1);  // one file player serves the whole thread
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, DefaultCountPlaysOnceAndQueuesPlayInOrder) {
  std::string a = file("a.mp3"), b = file("b.wav");
  player_.playAudioFile(a)->waitForEnd();
  EXPECT_EQ(stage_.events(), played(a, 1));
  player_.playAudioQueue({b, a}, 0.5)->waitForEnd();
  Events expected = played(a, 1);
  for (const auto& path : {b, a}) {
    auto once = played(path, 1);
    expected.insert(expected.end(), once.begin(), once.end());
  }
  EXPECT_EQ(stage_.events(), expected);
  EXPECT_EQ(pause_.lengths(), (std::vector<double>{0.5}));
}

TEST_F(PlayerTest, NothingToPlayEndsAtOnce) {
  std::string a = file("a.mp3");
  struct Case {
    int count;
    bool endless;
  };
  for (auto [count, endless] : {Case{0, false}, Case{-5, false}, Case{-2, false}, Case{0, true}}) {
    auto thread = endless ? player_.playFiles({}, 1.0, true) : player_.playAudioFile(a, count, 1.0);
    ASSERT_NE(thread, nullptr) << count;
    EXPECT_TRUE(thread->paths().empty()) << count;
    thread->waitForEnd();
    EXPECT_FALSE(player_.isPlaying()) << count;
  }
  EXPECT_TRUE(stage_.events().empty());
  EXPECT_TRUE(pause_.lengths().empty());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(PlayerTest, MissingFileStopsTheWholeQueueBeforeItStarts) {
  std::string a = file("a.mp3");
  std::string b = (dir_.path() / "b.mp3").string();
  std::string c = (dir_.path() / "c.mp3").string();  // missing as well; only b is reported
  EXPECT_EQ(player_.playAudioQueue({a, b, c}), nullptr);

  EXPECT_FALSE(player_.isPlaying());
  EXPECT_EQ(stage_.playersMade(), 0);
  EXPECT_EQ(log_.lines(), Events{"ERROR: File does not exist: " + b});
}

TEST_F(PlayerTest, EndlessRepeatPausesAfterEveryFileUntilAborted) {
  std::string a = file("a.mp3");
  auto thread = player_.playAudioFile(a, INFINITE_REPEAT, 3.0);
  ASSERT_TRUE(stage_.waitForEvents(6));  // three plays done
  thread->abortPlay();
  thread->waitForEnd();

  auto events = stage_.events();
  ASSERT_EQ(events.size() % 2, 0u);
  for (std::size_t i = 0; i < events.size(); ++i) {
    // The last close may see the abort flag already set.
    EXPECT_EQ(events[i].rfind(i % 2 == 0 ? "start " + a : "close " + a, 0), 0u) << events[i];
  }
  // Every finished file is followed by a pause, the last one included.
  EXPECT_EQ(pause_.lengths(), std::vector<double>(events.size() / 2, 3.0));
}

TEST_F(PlayerTest, LargestRepeatCountCostsNoMemoryAndPlaysUntilAborted) {
  std::string a = file("a.mp3");
  auto thread = player_.playAudioFile(a, std::numeric_limits<int>::max(), 0.0);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->paths().size(), 1u);
  ASSERT_TRUE(stage_.waitForEvents(4));
  thread->abortPlay();
  thread->waitForEnd();
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, AbortStopsThePlayingFileAndSkipsTheRest) {
  std::string a = file("a.mp3"), b = file("b.mp3");
  stage_.setPolls(a, FOREVER);
  auto thread = player_.playAudioQueue({a, b});
  ASSERT_TRUE(stage_.waitForEvents(1));
  thread->abortPlay();
  thread->waitForEnd();

  EXPECT_EQ(stage_.events(), (Events{"start " + a, "close " + a + " aborted"}));
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, AbortDuringAPauseTakesEffectWhenThePauseIsOver) {
  std::string a = file("a.mp3");
  pause_.hold(true);
  auto thread = player_.playAudioFile(a, 3, 10.0);
  ASSERT_TRUE(pause_.waitForPauses(1));

  player_.stopAll();
  EXPECT_FALSE(player_.isPlaying());  // the list is empty at once
  EXPECT_TRUE(thread->isAlive());     // while the thread still sits in its pause

  pause_.hold(false);
  thread->waitForEnd();
  EXPECT_EQ(stage_.events(), played(a, 1));
}

TEST_F(PlayerTest, StartFailureEndsThePlaybackAfterEarlierFiles) {
  std::string a = file("a.mp3"), b = file("b.ogg"), c = file("c.mp3");
  stage_.failStart(b, "Unsupported file format: .ogg");
  player_.playAudioQueue({a, b, c})->waitForEnd();

  EXPECT_EQ(stage_.events(), (Events{"start " + a, "close " + a + " ended", "start " + b}));
  EXPECT_EQ(log_.lines().back(),
            "Failed to play the file: " + b + " - Unsupported file format: .ogg");
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, CloseFailureIsLoggedAndPlaybackGoesOn) {
  std::string a = file("a.mp3"), b = file("b.mp3");
  stage_.failClose(a, "device gone");
  player_.playAudioQueue({a, b})->waitForEnd();

  Events expected = played(a, 1), then = played(b, 1);
  expected.insert(expected.end(), then.begin(), then.end());
  EXPECT_EQ(stage_.events(), expected);
  EXPECT_TRUE(log_.contains("Failed to close file: " + a + " - device gone"));
}

TEST_F(PlayerTest, FailureWhilePlayingEndsOnlyThatThreadAndLeavesTheList) {
  std::string a = file("a.mp3"), b = file("b.mp3"), c = file("c.mp3");
  stage_.failPolling(a, "status query failed");
  stage_.setPolls(c, FOREVER);
  auto other = player_.playAudioFile(c);
  ASSERT_TRUE(stage_.waitForEvents(1));

  player_.playAudioQueue({a, b})->waitForEnd();
  EXPECT_TRUE(log_.contains("Failed to play the file: " + a + " - status query failed"));
  auto events = stage_.events();
  EXPECT_TRUE(has(events, "close " + a + " aborted"));  // a sound in unknown state is stopped
  EXPECT_FALSE(has(events, "start " + b));
  EXPECT_TRUE(other->isAlive());
  EXPECT_TRUE(player_.isPlaying());  // only the other thread is left

  other->abortPlay();
  other->waitForEnd();
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, StopAllEmptiesTheListAndLateEndsChangeNothing) {
  std::string a = file("a.mp3"), b = file("b.mp3"), c = file("c.mp3");
  for (const auto& path : {a, b, c}) {
    stage_.setPolls(path, FOREVER);
  }
  auto ended = player_.playAudioFile(file("short.mp3"));
  ended->waitForEnd();
  auto first = player_.playAudioFile(a);
  auto second = player_.playAudioFile(b);
  ASSERT_TRUE(stage_.waitForEvents(4));

  player_.stopAllPlay();
  EXPECT_FALSE(player_.isPlaying());
  EXPECT_FALSE(ended->doAbort());  // only live threads are asked to abort

  auto third = player_.playAudioFile(c);
  first->waitForEnd();
  second->waitForEnd();
  // The aborted threads' end notifications must not take the new one off the list.
  EXPECT_TRUE(player_.isPlaying());
  EXPECT_TRUE(has(stage_.events(), "close " + a + " aborted"));
  EXPECT_TRUE(has(stage_.events(), "close " + b + " aborted"));
}

TEST_F(PlayerTest, HeldStartsSoundOnReleaseUnlessStoppedAndOnlyTheHoldersAreHeld) {
  std::string a = file("a.mp3"), b = file("b.mp3"), c = file("c.mp3");
  std::shared_ptr<PlayerThread> held;
  {
    Player::StartHold hold = player_.holdStarts();
    held = player_.playAudioFile(a);
    EXPECT_TRUE(player_.isPlaying());
    // Another thread's sound (the alarm, a button) is never held.
    std::jthread([&] { player_.playAudioFile(b)->waitForEnd(); }).join();
    EXPECT_EQ(stage_.events(), played(b, 1));
  }
  held->waitForEnd();
  Events expected = played(b, 1);
  for (const auto& event : played(a, 1))
    expected.push_back(event);
  EXPECT_EQ(stage_.events(), expected);

  Player::StartHold hold = player_.holdStarts();
  auto stopped = player_.playAudioFile(c);
  player_.stopAll();
  hold.release();
  stopped->waitForEnd();
  EXPECT_EQ(stage_.events(), expected) << "a sound stopped while held still started";
  EXPECT_FALSE(player_.isPlaying());
}

TEST_F(PlayerTest, ConcurrentCallersKeepTheListConsistent) {
  std::string a = file("a.mp3");
  std::mutex startedMutex;
  std::vector<std::shared_ptr<PlayerThread>> started;
  {
    std::vector<std::jthread> callers;
    for (int caller = 0; caller < 4; ++caller) {
      callers.emplace_back([&, caller] {
        for (int i = 0; i < 25; ++i) {
          auto thread = player_.playAudioFile(a, 2);
          std::lock_guard lock(startedMutex);
          started.push_back(thread);
          if (caller == 0 && i % 5 == 0) {
            player_.stopAll();
          }
        }
      });
    }
  }
  for (const auto& thread : started) {
    ASSERT_NE(thread, nullptr);
    thread->waitForEnd();
  }
  EXPECT_FALSE(player_.isPlaying());
}

TEST(PlayerLifetime, PlayersSideBySideAreIndependentAndJoinOnDestruction) {
  test::LogCapture log;
  test::TempDir dir;
  std::string a = (dir.path() / "a.mp3").string();
  std::ofstream(a) << "x";
  Clock clock{morning};
  FakeStage stageOne, stageTwo;
  stageOne.setPolls(a, FOREVER);
  stageTwo.setPolls(a, FOREVER);

  auto two = std::make_unique<Player>(clock, stageTwo.factory());
  std::shared_ptr<PlayerThread> kept;
  {
    Player one(clock, stageOne.factory());  // with the real pause
    kept = one.playAudioFile(a, INFINITE_REPEAT, 3600.0);
    two->playAudioFile(a);
    ASSERT_TRUE(stageOne.waitForEvents(1));
    ASSERT_TRUE(stageTwo.waitForEvents(1));
    one.stopAll();
    EXPECT_FALSE(one.isPlaying());
    EXPECT_TRUE(two->isPlaying());
    ASSERT_TRUE(stageOne.waitForEvents(2));  // now in its hour-long pause
  }
  // The destructor cut the pause short and waited for the thread.
  EXPECT_FALSE(kept->isAlive());
  EXPECT_TRUE(two->isPlaying());

  two.reset();  // aborts the endless file
  EXPECT_EQ(stageTwo.events(), (Events{"start " + a, "close " + a + " aborted"}));
}

}  // namespace
}  // namespace veltrano
