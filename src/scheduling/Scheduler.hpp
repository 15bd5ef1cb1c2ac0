#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "audio/SongPlayback.hpp"
#include "domain/Clock.hpp"
#include "foundation/WallClockWait.hpp"
#include "scheduling/AutoSave.hpp"
#include "scheduling/SecondCursor.hpp"
#include "scheduling/SoundTriggering.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// Period, in processed seconds, of the remote check: 30 hours of running.
inline constexpr long long SEC_30_HOURS = 30 * 3600;
// The processed second, counted modulo SEC_30_HOURS, in which the remote check starts.
inline constexpr long long REMOTE_CHECK_SECOND = 5;
// The longest pause between two rounds. One round a second is all the bells need: an idle
// machine pays for every wake-up, far more than for the round itself, and a change still
// reaches its file within a second.
inline constexpr std::chrono::milliseconds ROUND_INTERVAL{1000};
// The time source may show a new second a few milliseconds after the system clock does
// (time() reads a clock updated once per kernel tick): early in a second, a round that did
// not see it yet looks again after CLOCK_LAG_RETRY.
inline constexpr std::chrono::milliseconds CLOCK_LAG_RETRY{1};
inline constexpr std::chrono::milliseconds CLOCK_LAG_WINDOW{20};
// A second with a bell due is processed this long before it begins, with its sounds held
// until it does: deciding and readying a bell takes milliseconds, handing it over does not.
inline constexpr std::chrono::milliseconds BELL_LEAD{50};
// The last stretch before such a second is waited out by watching the clock, not asleep:
// waking from a sleep takes up to a millisecond or two on a busy or virtual machine. It costs
// that much processor time in a second that rings, and nothing in any other.
inline constexpr std::chrono::milliseconds BELL_WATCH{4};
// From this long before such a second until this long after it, idle processors are kept quick
// to wake (see QuickWake): the watch then starts on time, and the players woken on the second
// reach their first frames without waiting for a sleeping processor.
inline constexpr std::chrono::milliseconds QUICK_WAKE_BEFORE{10};
inline constexpr std::chrono::milliseconds QUICK_WAKE_AFTER{30};
// How far back the first round looks for sounds missed while the program was not running.
inline constexpr long long MAX_MISSED_SECONDS = 24 * 3600;
// The longest the kept last processed second may lag behind.
inline constexpr long long PROGRESS_SAVE_SECONDS = 60;

// The thread that rings the bells. Every round it reads the shared clock and processes each
// second of local time it has not processed yet, in order (a stall or a small clock step is
// bridged second by second, late; a larger step is taken as a new time: see SecondCursor). In
// each processed second it counts the second, starts the remote check in the 5th processed
// second and every SEC_30_HOURS after, drops yesterday's hand-chosen timetable and starts the
// sounds due. Every round it autosaves the
// three stores and deletes the files of dropped one-off plays that have been heard. Rounds run
// once a second: the thread sleeps on the wall clock until the next second begins (a step of
// the clock wakes it early) and processes it at once. A round that processed a second works
// out what the next one will ring and readies the players for those files. When that second
// rings, its round runs BELL_LEAD ahead of it, on the wall clock, and the sounds it starts are
// held until the second begins (a step of the clock releases them at once), so that they sound
// right at its start.
//
// A round holds the store lock while it decides and starts sounds; files are written, and the
// remote check runs, without it. A failing round is logged as "Scheduler thread error: ..."
// and the next round runs as usual.
class Scheduler {
 public:
  // Runs the remote check (a call that may wait on the network); it must take the store lock
  // itself when it needs it. An empty one checks nothing.
  using RemoteCheck = std::function<void()>;

  Scheduler(Stores& stores, Clock& clock, SongPlayback& playback, RemoteCheck remoteCheck);
  // Stops the thread, then waits for a remote check still running.
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Called on the scheduler's thread after each round that completed, never by a round that
  // hangs: what a watchdog needs to see. Must not throw. Set before start().
  void onRoundCompleted(std::function<void()> hook) { roundCompleted_ = std::move(hook); }

  // Where the last processed second is kept between runs: the first round after a start logs
  // the sounds due while the program was not running (the last MAX_MISSED_SECONDS of that
  // time at most) as skipped. The file is written once a minute, after every second that had
  // a sound due (so a crash never makes a bell that rang look missed) and by stop(). Unset,
  // nothing is kept. Set before the first round.
  void keepProgressIn(std::filesystem::path file) { progressFile_ = std::move(file); }

  // Starts the thread; does nothing when it already runs.
  void start();
  // Ends the thread within moments (it wakes from its pause at once) and joins it.
  void stop() noexcept;

  // One round of the thread's loop; true when it processed a new second. Only one thread may
  // run rounds: the scheduler's own, or a test while the thread is not started.
  bool runRound() noexcept;

  long long secCounter() const noexcept { return secCounter_.load(); }
  bool isRemoteCheckRunning() const noexcept { return remoteRunning_.load(); }

  // When the round after one that ended at `now` should run: after ROUND_INTERVAL at most, at
  // the start of the next wall-clock second at the latest, and soon again while the clock
  // lags behind a second that has just begun.
  static std::chrono::system_clock::time_point nextWakeUp(std::chrono::system_clock::time_point now,
                                                          bool sawNewSecond) noexcept;

 private:
  void run(const std::stop_token& stop) noexcept;
  // runRound; with `ahead`, the round processes that second (the one after the last processed)
  // before it begins. soundsStarted runs once the round started its sounds, before it writes
  // any file; it must not throw.
  bool runRound(const std::optional<ClockValue>& ahead,
                const std::function<void()>& soundsStarted) noexcept;
  // Runs the round of the next second ahead of it (see BELL_LEAD); false when it did not, as
  // when the clock stepped, stop was asked for, or the clock is not the wall clock.
  bool runRoundAhead(const std::stop_token& stop, WallClockWait& wallClock) noexcept;
  // Caller holds the lock of access. Failures are logged here.
  void processSecond(Stores::Access& access, const ClockValue& now) noexcept;
  // The first files of the sounds due in the second after `now`; none when that cannot be
  // worked out. Caller holds the lock of access.
  std::vector<std::string> filesDueAfter(Stores::Access& access,
                                         const ClockValue& now) const noexcept;
  // Waits until the round after one that saw a new second (or not) is due, or stop.
  void pause(const std::stop_token& stop, WallClockWait* wallClock, bool sawNewSecond);
  // Caller must not hold the store lock.
  void startRemoteCheck();
  // The seconds missed while the program was not running, read from the progress file once.
  SecondRange missedSinceLastRun(long long now) noexcept;
  // Writes the last processed second when it is due (or, with force, whenever it changed).
  void saveProgress(bool force) noexcept;
  // Logs a round's failure, but a failure that repeats the previous one only once.
  void logRoundError(const std::string& text) noexcept;

  Stores& stores_;
  Clock& clock_;
  SongPlayback& playback_;
  const RemoteCheck remoteCheck_;
  std::function<void()> roundCompleted_;  // set before the thread starts

  // The round's own state, used only by the thread that runs rounds.
  SecondCursor cursor_;
  AutoSave autoSave_;
  std::string lastRoundError_;
  TriggerMemory triggerMemory_;
  std::filesystem::path progressFile_;  // set before the first round
  bool progressRead_ = false;
  bool bellDueNext_ = false;  // a sound is due in the second after the last processed one
  std::optional<long long> savedSecond_;  // the second last written to progressFile_
  // Files of one-off plays, deleted once heard.
  std::vector<PlayedFile> playedFiles_;

  std::atomic<long long> secCounter_{0};  // written by the rounds, read by anyone
  std::atomic<bool> remoteRunning_{false};
  std::jthread remoteWorker_;  // replaced by the rounds only, joined before remoteCheck_ goes

  std::mutex wakeMutex_;  // only for waiting on pauseEnds_
  std::condition_variable_any pauseEnds_;
  std::jthread thread_;  // last: joined before everything it uses goes
};

}  // namespace veltrano
