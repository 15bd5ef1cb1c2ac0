#include "scheduling/Scheduler.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "domain/LocalSecond.hpp"
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
  if (!thread_.joinable())
    return;
  thread_.request_stop();
  thread_.join();
}

std::chrono::system_clock::time_point Scheduler::nextWakeUp(
    std::chrono::system_clock::time_point now, bool sawNewSecond) noexcept {
  using namespace std::chrono;
  using TimePoint = system_clock::time_point;
  const TimePoint secondStart = floor<seconds>(now);
  TimePoint wake =
      std::min<TimePoint>(now + ROUND_INTERVAL, secondStart + seconds(1) + SECOND_START_MARGIN);
  if (!sawNewSecond && now - secondStart < CLOCK_LAG_WINDOW) {
    wake = std::min<TimePoint>(wake, now + CLOCK_LAG_RETRY);
  }
  return wake;
}

void Scheduler::run(const std::stop_token& stop) noexcept {
  while (!stop.stop_requested()) {
    const bool sawNewSecond = runRound();
    if (roundCompleted_)
      roundCompleted_();
    // The second boundary comes from the wall clock, the wait itself runs on the steady
    // clock: a wall clock set back during the pause must not stretch it.
    const auto now = std::chrono::system_clock::now();
    const auto pause = nextWakeUp(now, sawNewSecond) - now;
    std::unique_lock lock(wakeMutex_);
    pauseEnds_.wait_until(lock, stop, std::chrono::steady_clock::now() + pause,
                          [] { return false; });
  }
}

bool Scheduler::runRound() noexcept {
  bool processed = false;
  try {
    const ClockValue now = clock_.updateClock();
    bool remoteDue = false;
    {
      auto access = stores_.lockForRound();
      // Taken as processed before their sounds start: should they fail, the next round must
      // not ring these seconds a second time.
      const SecondRange seconds = cursor_.advanceTo(localSecondOf(now));
      for (long long second = seconds.first; second <= seconds.last; ++second) {
        processed = true;
        if (++secCounter_ % SEC_30_HOURS == REMOTE_CHECK_SECOND)
          remoteDue = true;
        processSecond(access, second == seconds.last ? now : clockValueAtLocalSecond(second));
      }
      autoSave_.prepare(access);
    }
    if (remoteDue)
      startRemoteCheck();
    autoSave_.write(stores_);
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
    for (auto& played : triggerScheduledSounds(db, access.cache(), now, playback_))
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

void Scheduler::logRoundError(const std::string& text) noexcept {
  if (text == lastRoundError_)
    return;
  spdlog::error("Scheduler thread error: {}", text);
  lastRoundError_ = text;
}

}  // namespace veltrano
