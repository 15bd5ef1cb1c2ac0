#include "scheduling/Scheduler.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <memory>
#include <utility>

#include "domain/LocalSecond.hpp"
#include "domain/TimeOfDay.hpp"
#include "foundation/AtomicFile.hpp"
#include "foundation/QuickWake.hpp"
#include "scheduling/DayClassification.hpp"
#include "scheduling/SoundTriggering.hpp"

namespace veltrano {

Scheduler::Scheduler(Stores& stores, Clock& clock, SongPlayback& playback, RemoteCheck remoteCheck)
    : stores_(stores),
      clock_(clock),
      playback_(playback),
      remoteCheck_(std::move(remoteCheck)),
      autoSave_(clock) {}

Scheduler::~Scheduler() {
  stop();
}

void Scheduler::start() {
  if (thread_.joinable())
    return;
  thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void Scheduler::stop() noexcept {
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
  saveProgress(true);
}

std::chrono::system_clock::time_point Scheduler::nextWakeUp(
    std::chrono::system_clock::time_point now, bool sawNewSecond) noexcept {
  using namespace std::chrono;
  using TimePoint = system_clock::time_point;
  const TimePoint secondStart = floor<seconds>(now);
  TimePoint wake = std::min<TimePoint>(now + ROUND_INTERVAL, secondStart + seconds(1));
  if (!sawNewSecond && now - secondStart < CLOCK_LAG_WINDOW) {
    wake = std::min<TimePoint>(wake, now + CLOCK_LAG_RETRY);
  }
  return wake;
}

void Scheduler::run(const std::stop_token& stop) noexcept {
  std::unique_ptr<WallClockWait> wallClock;
  try {
    wallClock = std::make_unique<WallClockWait>();
  } catch (const std::exception& e) {
    logRoundError(e.what());  // the rounds still run, on the steady clock
  }
  std::stop_callback interrupt(stop, [&wallClock] {
    if (wallClock)
      wallClock->interrupt();
  });
  while (!stop.stop_requested()) {
    const bool sawNewSecond = runRound();
    if (roundCompleted_)
      roundCompleted_();
    while (sawNewSecond && bellDueNext_ && wallClock && runRoundAhead(stop, *wallClock)) {
      if (roundCompleted_)
        roundCompleted_();
    }
    pause(stop, wallClock.get(), sawNewSecond);
  }
}

bool Scheduler::runRoundAhead(const std::stop_token& stop, WallClockWait& wallClock) noexcept {
  using namespace std::chrono;
  const auto second = floor<seconds>(system_clock::now()) + seconds(1);
  const ClockValue next = clockValueFromEpoch(second.time_since_epoch() / seconds(1));
  // Only right after its previous second, and only when the clock is the wall clock.
  const std::optional<long long> last = cursor_.lastProcessed();
  if (!last || localSecondOf(next) != *last + 1)
    return false;
  if (wallClock.waitUntil(second - BELL_LEAD) != WallClockWait::Woken::AT_DEADLINE ||
      system_clock::now() >= second)
    return false;
  Player::StartHold hold = playback_.player().holdStarts();
  std::optional<QuickWake> quickWake;
  bool released = false;
  auto releaseOnTheSecond = [&]() noexcept {
    if (std::exchange(released, true))
      return;
    if (wallClock.waitUntil(second - QUICK_WAKE_BEFORE) == WallClockWait::Woken::AT_DEADLINE)
      quickWake.emplace();
    if (wallClock.waitUntil(second - BELL_WATCH) == WallClockWait::Woken::AT_DEADLINE) {
      while (system_clock::now() < second && !stop.stop_requested()) {
      }
    }
    // The new second is read before the playbacks log that they play, and say when.
    hold.release([this]() noexcept {
      try {
        clock_.updateClock();
      } catch (...) {
        // The next round reads it again.
      }
    });
  };
  const bool processed = runRound(next, releaseOnTheSecond);
  releaseOnTheSecond();  // when the round failed before its sounds
  if (quickWake)
    wallClock.waitUntil(second + QUICK_WAKE_AFTER);
  return processed;
}

void Scheduler::pause(const std::stop_token& stop, WallClockWait* wallClock, bool sawNewSecond) {
  const auto now = std::chrono::system_clock::now();
  const auto wake = nextWakeUp(now, sawNewSecond);
  if (wallClock != nullptr) {
    wallClock->waitUntil(wake);
    return;
  }
  // Without the wall-clock wait the pause runs on the steady clock: a wall clock set back
  // during it must not stretch it.
  std::unique_lock lock(wakeMutex_);
  pauseEnds_.wait_until(lock, stop, std::chrono::steady_clock::now() + (wake - now),
                        [] { return false; });
}

bool Scheduler::runRound() noexcept {
  return runRound(std::nullopt, [] {});
}

bool Scheduler::runRound(const std::optional<ClockValue>& ahead,
                         const std::function<void()>& soundsStarted) noexcept {
  bool processed = false;
  try {
    const ClockValue now = ahead ? *ahead : clock_.updateClock();
    const SecondRange missed = missedSinceLastRun(localSecondOf(now));
    bool remoteDue = false;
    std::vector<std::string> nextFiles;
    {
      auto access = stores_.lockForRound();
      if (!missed.empty()) {
        // Before the new second: the day's hand-chosen timetable still names its own day.
        const std::size_t count =
            logMissedSounds(access.db(), access.cache(), missed.first, missed.last, playback_);
        if (count > 0)
          spdlog::warn("{} sounds were due while the player was not running (from {} {})", count,
                       dateStringOf(clockValueAtLocalSecond(missed.first)),
                       TimeOfDay::fromTimeStruct(clockValueAtLocalSecond(missed.first)).asString());
      }
      // Taken as processed before their sounds start: should they fail, the next round must
      // not ring these seconds a second time.
      const SecondRange seconds = cursor_.advanceTo(localSecondOf(now));
      for (long long second = seconds.first; second <= seconds.last; ++second) {
        processed = true;
        if (++secCounter_ % SEC_30_HOURS == REMOTE_CHECK_SECOND)
          remoteDue = true;
        processSecond(access, second == seconds.last ? now : clockValueAtLocalSecond(second));
      }
      if (processed)
        nextFiles = filesDueAfter(access, now);
      bellDueNext_ = !nextFiles.empty();
      autoSave_.prepare(access);
    }
    soundsStarted();
    if (processed)
      playback_.player().warmUp(nextFiles);
    if (remoteDue)
      startRemoteCheck();
    autoSave_.write(stores_);
    saveProgress(false);
    std::erase_if(playedFiles_, removeIfPlayed);
  } catch (const std::exception& e) {
    logRoundError(e.what());
  } catch (...) {
    logRoundError("unknown failure");
  }
  return processed;
}

void Scheduler::processSecond(Stores::Access& access, const ClockValue& now) noexcept {
  try {
    DB& db = access.db();
    const DailyPreferences before = db.settings.dailyPreferences;
    const std::size_t programmes = db.programmes.size();
    db.settings.dailyPreferences.resetOnNewDay(now);
    for (auto& played : triggerScheduledSounds(db, access.cache(), now, playback_, &triggerMemory_))
      playedFiles_.push_back(std::move(played));
    // Only a new day or a played one-off play changes the records here.
    const DailyPreferences& after = db.settings.dailyPreferences;
    if (after.lastDay != before.lastDay ||
        after.selectedTimetableId != before.selectedTimetableId ||
        db.programmes.size() != programmes)
      access.markChanged();
    lastRoundError_.clear();
  } catch (const std::exception& e) {
    access.markChanged();  // what a failure left half done is saved all the same
    logRoundError(e.what());
  } catch (...) {
    access.markChanged();
    logRoundError("unknown failure");
  }
}

std::vector<std::string> Scheduler::filesDueAfter(Stores::Access& access,
                                                  const ClockValue& now) const noexcept {
  try {
    const ClockValue next = clockValueAtLocalSecond(localSecondOf(now) + 1);
    return playback_.firstFilesOf(access.db(), songsDueAt(access.db(), access.cache(), next));
  } catch (...) {
    // Only a head start is lost: the second itself logs whatever fails in it.
    return {};
  }
}

void Scheduler::startRemoteCheck() {
  if (!remoteCheck_)
    return;
  if (remoteRunning_.exchange(true)) {
    spdlog::warn("Remote check skipped: the previous one is still running");
    return;
  }
  // The previous worker has finished its check; this only collects the thread.
  if (remoteWorker_.joinable())
    remoteWorker_.join();
  try {
    remoteWorker_ = std::jthread([this] {
      try {
        remoteCheck_();
      } catch (const std::exception& e) {
        spdlog::error("Scheduler thread error: {}", e.what());
      } catch (...) {
        spdlog::error("Scheduler thread error: unknown failure");
      }
      remoteRunning_ = false;
    });
  } catch (...) {
    remoteRunning_ = false;
    throw;
  }
}

SecondRange Scheduler::missedSinceLastRun(long long now) noexcept {
  if (progressRead_ || progressFile_.empty())
    return {};
  progressRead_ = true;
  try {
    std::ifstream in(progressFile_);
    long long last = 0;
    if (!(in >> last))
      return {};  // a first start, or a file cut short: nothing is known
    savedSecond_ = last;
    return {std::max(last + 1, now - MAX_MISSED_SECONDS), now - 1};
  } catch (const std::exception& e) {
    logRoundError(e.what());
    return {};
  }
}

void Scheduler::saveProgress(bool force) noexcept {
  const std::optional<long long> last = cursor_.lastProcessed();
  if (progressFile_.empty() || !last || last == savedSecond_)
    return;
  const bool due = triggerMemory_.anyDue || !savedSecond_ ||
                   *last - *savedSecond_ >= PROGRESS_SAVE_SECONDS || *last < *savedSecond_;
  if (!force && !due)
    return;
  try {
    writeFileAtomically(progressFile_, std::to_string(*last) + "\n");
    savedSecond_ = last;
    triggerMemory_.anyDue = false;
  } catch (const std::exception& e) {
    logRoundError(e.what());
  }
}

void Scheduler::logRoundError(const std::string& text) noexcept {
  if (text == lastRoundError_)
    return;
  spdlog::error("Scheduler thread error: {}", text);
  lastRoundError_ = text;
}

}  // namespace veltrano
