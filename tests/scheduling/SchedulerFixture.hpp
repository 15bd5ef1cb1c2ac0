#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/Player.hpp"
#include "audio/SongPlayback.hpp"
#include "audio/SoundLog.hpp"
#include "domain/Clock.hpp"
#include "domain/Date.hpp"
#include "domain/LocalSecond.hpp"
#include "domain/TimeOfDay.hpp"
#include "foundation/Paths.hpp"
#include "scheduling/DayClassification.hpp"
#include "scheduling/Scheduler.hpp"
#include "storage/Stores.hpp"
#include "support/LogCapture.hpp"
#include "support/ReleasePaths.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {

// The clock value of a local date and time, weekday and day of the year included.
inline ClockValue clockAt(const Date& date, const TimeOfDay& time) {
  return clockValueAtLocalSecond(date.toDayNumber() * 86400LL + time.h * 3600 + time.m * 60 +
                                 time.s);
}

inline ClockValue clockAt(std::string_view date, std::string_view time) {
  return clockAt(Date::decode(date), TimeOfDay::decode(time));
}

// File players that note, in the order the scheduler asked for them, the second the play was
// requested in and the file started. The factory runs on the thread that starts the playback
// (the scheduler round), so the order is exactly the order of the play requests, while the
// paths arrive later from the playback threads.
class RecordingStage {
 public:
  struct Start {
    ClockValue requestedAt;
    std::vector<std::string> paths;  // every file the player started, in order
    bool closed = false;
  };

  explicit RecordingStage(const Clock& clock) : clock_(clock) {}

  FilePlayerFactory factory() {
    return [this]() -> std::unique_ptr<FilePlayer> {
      std::lock_guard lock(mutex_);
      starts_.push_back({clock_.getClock(), {}, false});
      return std::make_unique<Recorder>(*this, starts_.size() - 1);
    };
  }

  // Every play requested so far, once all of them have finished.
  std::vector<Start> finishedStarts() {
    std::unique_lock lock(mutex_);
    bool done = changed_.wait_for(lock, std::chrono::seconds(20), [&] {
      for (const Start& start : starts_) {
        if (!start.closed)
          return false;
      }
      return true;
    });
    EXPECT_TRUE(done) << "playback threads did not finish";
    return starts_;
  }

  std::size_t requested() {
    std::lock_guard lock(mutex_);
    return starts_.size();
  }

 private:
  class Recorder final : public FilePlayer {
   public:
    Recorder(RecordingStage& stage, std::size_t index) : stage_(stage), index_(index) {}
    void startPlay(const std::string& path) override {
      std::lock_guard lock(stage_.mutex_);
      stage_.starts_[index_].paths.push_back(path);
    }
    bool isPlaying() override { return false; }
    void closeFile(bool) override {
      {
        std::lock_guard lock(stage_.mutex_);
        stage_.starts_[index_].closed = true;
      }
      stage_.changed_.notify_all();
    }

   private:
    RecordingStage& stage_;
    std::size_t index_;
  };

  const Clock& clock_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Start> starts_;  // protected by mutex_
};

// A scheduler over real stores in a temporary directory, a real player with recording file
// players, and a clock the test sets by hand. Sounds are user signals named after their id
// ("start" plays <user data>/start.mp3).
class SchedulerFixture : public ::testing::Test {
 protected:
  SchedulerFixture() {
    auto access = stores_.lock();
    access.dbStore().load(paths_.getUserFilePath("_db.json"));
    access.shadowStore().load(paths_.getUserFilePath("_shadow.json"));
    access.cacheStore().load(paths_.getUserFilePath("cache.json"));
  }

  ~SchedulerFixture() override { player_.stopAll(); }

  // Adds a user signal whose file exists; returns its id.
  std::string addSound(DB& db, const std::string& id) {
    AudioAsset song;
    song.name = id;
    song.filename = id + ".mp3";
    db.songs.add(song, id);
    std::ofstream(paths_.getUserFilePath(song.filename)) << "x";
    return id;
  }

  // Channel A rings "start", "end", "pre-start" and "pre-end"; channel B, with the same
  // lessons, would ring "chb".
  static TimeTable timetable(const std::vector<std::string>& lessons, int preStartWaitMin = 5,
                             int preEndWaitMin = 5) {
    TimeTable t;
    t.chA.lessons.clear();
    for (const auto& text : lessons)
      t.chA.lessons.push_back(Lesson::decode(text));
    t.chA.startOfClass.id = "start";
    t.chA.endOfClass.id = "end";
    t.chA.preStart.id = "pre-start";
    t.chA.preEnd.id = "pre-end";
    t.chA.preStartWaitMin = preStartWaitMin;
    t.chA.preEndWaitMin = preEndWaitMin;
    t.chB = t.chA;
    for (PlayDesc* desc : {&t.chB.startOfClass, &t.chB.endOfClass, &t.chB.preStart, &t.chB.preEnd})
      desc->id = "chb";
    return t;
  }

  void setClock(const ClockValue& value) { now_ = value; }
  // Sets the clock and runs one round.
  bool roundAt(std::string_view date, std::string_view time) {
    setClock(clockAt(date, time));
    return scheduler_.runRound();
  }

  // "HH:MM:SS sound" (or "YYYY-MM-DD HH:MM:SS sound" with withDate) for every file started,
  // in the order the plays were requested.
  std::vector<std::string> played(bool withDate = false) {
    std::vector<std::string> out;
    for (const auto& start : stage_.finishedStarts()) {
      std::string when = TimeOfDay::fromTimeStruct(start.requestedAt).asString();
      if (when.size() == 5)
        when += ":00";
      if (withDate)
        when = dateStringOf(start.requestedAt) + " " + when;
      for (const std::string& path : start.paths) {
        out.push_back(when + " " + std::filesystem::path(path).stem().string());
      }
    }
    return out;
  }

  LogCapture log_;
  TempDir dir_;
  Paths paths_{releasePathsIn(dir_.path())};
  Stores stores_;
  ClockValue now_ = clockAt("2026-03-09", "06:00");
  Clock clock_{[this] { return now_; }};
  RecordingStage stage_{clock_};
  // Sounds start at the test clock's second: a bridged second shows its lateness in whole
  // seconds.
  SoundLog soundLog_{dir_.path() / "history", [this] {
                       return std::chrono::system_clock::time_point(
                           std::chrono::milliseconds(epochMillisOfLocal(clock_.getClock())));
                     }};
  Player player_{clock_, stage_.factory(), [](auto, auto) {}};
  SongPlayback playback_{player_, paths_, &soundLog_};
  std::atomic<int> remoteChecks_{0};
  std::function<void()> remoteCheck_ = [this] { ++remoteChecks_; };
  Scheduler scheduler_{stores_, clock_, playback_, [this] { remoteCheck_(); }};
};

}  // namespace veltrano::test
