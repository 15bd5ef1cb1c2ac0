#include "audio/PlayerThread.hpp"

#include <spdlog/spdlog.h>

#include <chrono>
#include <cmath>
#include <exception>
#include <utility>

#include "audio/Player.hpp"

namespace veltrano {

namespace {

constexpr std::chrono::milliseconds TICK{1000 / PlayerThread::TICKS_PER_SECOND};

}  // namespace

PlayerThread::PlayerThread(Player& owner, std::vector<std::string> paths, std::size_t rounds,
                           double delay, bool infiniteRepeat, std::unique_ptr<FilePlayer> player,
                           PlaybackReport report)
    : owner_(owner),
      paths_(std::move(paths)),
      rounds_(rounds),
      delay_(delay),
      infiniteRepeat_(infiniteRepeat),
      player_(std::move(player)),
      report_(std::move(report)) {}

PlayerThread::~PlayerThread() {
  abortPlay();
  join();
}

void PlayerThread::abortPlay() noexcept {
  doAbort_.store(true);
}

bool PlayerThread::isAlive() const noexcept {
  if (!started_.load()) {
    return false;
  }
  std::lock_guard lock(endMutex_);
  return !ended_;
}

void PlayerThread::waitForEnd() const {
  if (!started_.load()) {
    return;
  }
  std::unique_lock lock(endMutex_);
  endChanged_.wait(lock, [this] { return ended_; });
}

void PlayerThread::start() {
  prepare();
  sound();
  launch();
}

void PlayerThread::prepare() noexcept {
  // Counts as alive from here: a held playback is listed, stoppable, and joined like any other.
  started_.store(true);
  if (playsAnything())
    player_->prepareAtOnce(paths_.front());
}

bool PlayerThread::sound() noexcept {
  if (playsAnything() && !doAbort_.load())
    firstStarted_ = player_->startAtOnce(paths_.front());
  return firstStarted_;
}

void PlayerThread::launch() {
  try {
    thread_ = std::jthread([this](std::stop_token shutdown) { run(std::move(shutdown)); });
  } catch (...) {
    {
      std::lock_guard lock(endMutex_);
      ended_ = true;  // it never ran: whoever waits for its end stops waiting
    }
    endChanged_.notify_all();
    throw;
  }
}

void PlayerThread::join() noexcept {
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
}

void PlayerThread::requestShutdown() noexcept {
  abortPlay();
  thread_.request_stop();
}

void PlayerThread::run(std::stop_token shutdown) noexcept {
  try {
    playAll(shutdown);
  } catch (const std::exception& e) {
    spdlog::error("Playback thread error: {}", e.what());
  } catch (...) {
    spdlog::error("Playback thread error: unknown failure");
  }
  // Ends a child process still there right now, not when the thread object goes.
  player_.reset();
  owner_.onThreadEnd(*this);
  {
    std::lock_guard lock(endMutex_);
    ended_ = true;
  }
  endChanged_.notify_all();
}

void PlayerThread::playAll(const std::stop_token& shutdown) {
  const std::size_t count = paths_.size();
  // An endless repeat of nothing would spin; it plays nothing instead.
  const bool endless = infiniteRepeat_ && count > 0;
  // Counted per round, so a large repeat count costs no memory and cannot overflow.
  std::size_t round = 0;
  auto more = [&](std::size_t i) {
    return endless || (count > 0 && (round + 1 < rounds_ || (round < rounds_ && i < count)));
  };
  for (std::size_t i = 0; more(i) && !doAbort_.load();) {
    if (i == count) {
      i = 0;
      ++round;
    }
    const std::string& path = paths_[i];
    // Logged once the player runs: the log's write must not hold up a bell.
    auto logPlaying = [&] {
      spdlog::info("Playing: {} at {} {}", path, owner_.clock_.getDateString(),
                   owner_.clock_.getTimeString());
    };
    const auto startedAt = owner_.watch_.now();
    try {
      if (!std::exchange(firstStarted_, false))
        player_->startPlay(path);
    } catch (const std::exception& e) {
      logPlaying();
      spdlog::error("Failed to play the file: {} - {}", path, e.what());
      reportFailed(e.what());
      return;
    }
    logPlaying();
    reportStarted();
    // Read once the sound runs, so a slow file read never delays a bell.
    const int length = owner_.watch_.lengthOf(path);
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (length >= 0)
      deadline = startedAt + std::chrono::seconds(length) + OVERRUN_GRACE;
    try {
      if (!waitWhilePlaying(deadline)) {
        spdlog::error("Failed to play the file: {} - {} ({} s)", path, RAN_PAST_ITS_LENGTH, length);
        reportFailed(std::string(RAN_PAST_ITS_LENGTH));
        closeAndLog(path, true);
        return;
      }
    } catch (const std::exception& e) {
      // The file's state is unknown: stop it as if aborted and end only this playback.
      spdlog::error("Failed to play the file: {} - {}", path, e.what());
      reportFailed(e.what());
      closeAndLog(path, true);
      return;
    }
    closeAndLog(path, doAbort_.load());
    ++i;
    if (more(i) && delay_ > 0 && std::isfinite(delay_)) {
      owner_.pause_(std::chrono::duration<double>(delay_), shutdown);
    }
  }
}

bool PlayerThread::waitWhilePlaying(std::optional<std::chrono::steady_clock::time_point> deadline) {
  while (player_->isPlaying() && !doAbort_.load()) {
    if (deadline && owner_.watch_.now() > *deadline)
      return false;
    std::this_thread::sleep_for(TICK);
  }
  return true;
}

void PlayerThread::reportStarted() noexcept {
  if (startReported_ || !report_)
    return;
  startReported_ = true;
  try {
    report_(std::nullopt);
  } catch (...) {
    // A report must never end the sound.
  }
}

void PlayerThread::reportFailed(const std::string& reason) noexcept {
  if (failureReported_ || !report_)
    return;
  failureReported_ = true;
  try {
    report_(reason);
  } catch (...) {
    // A report must never end the sound.
  }
}

void PlayerThread::closeAndLog(const std::string& path, bool wasAborted) noexcept {
  try {
    player_->closeFile(wasAborted);
  } catch (const std::exception& e) {
    spdlog::error("Failed to close file: {} - {}", path, e.what());
  } catch (...) {
    spdlog::error("Failed to close file: {} - unknown failure", path);
  }
}

}  // namespace veltrano
