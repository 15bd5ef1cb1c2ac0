#include "audio/Player.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <system_error>
#include <utility>

#include "audio/Utf8Path.hpp"

namespace veltrano {

namespace {

// Long enough for a woken player to get a processor; the playback threads start after it.
constexpr std::chrono::microseconds HANDOVER_PAUSE{500};

}  // namespace

void sleepUnlessShutdown(std::chrono::duration<double> length, std::stop_token shutdown) {
  // Longer pauses than this are nobody's intent; the bound keeps the conversion in range.
  constexpr std::chrono::duration<double> LONGEST = std::chrono::hours(24);
  auto bounded = std::chrono::duration_cast<std::chrono::nanoseconds>(std::min(length, LONGEST));
  std::mutex mutex;
  std::condition_variable_any wakeUp;
  std::unique_lock lock(mutex);
  wakeUp.wait_for(lock, shutdown, bounded, [] { return false; });
}

Player::Player(const Clock& clock, FilePlayerFactory factory, PauseFunction pause,
               OverrunWatch watch)
    : clock_(clock),
      factory_(std::move(factory)),
      pause_(std::move(pause)),
      watch_(std::move(watch)) {}

Player::~Player() {
  releaseHeld();  // a held playback has no thread yet: it needs one to end
  std::vector<std::shared_ptr<PlayerThread>> all;
  {
    std::lock_guard lock(mutex_);
    all.swap(started_);
    threads_.clear();
  }
  for (const auto& thread : all) {
    thread->requestShutdown();
  }
  for (const auto& thread : all) {
    thread->join();
  }
}

std::shared_ptr<PlayerThread> Player::playFiles(std::vector<std::string> paths, double delay,
                                                bool infiniteRepeat, PlaybackReport report) {
  return start(std::move(paths), 1, delay, infiniteRepeat, std::move(report));
}

std::shared_ptr<PlayerThread> Player::playFilesRepeated(std::vector<std::string> paths,
                                                        std::size_t rounds, double delay,
                                                        PlaybackReport report) {
  return start(std::move(paths), rounds, delay, false, std::move(report));
}

std::shared_ptr<PlayerThread> Player::start(std::vector<std::string> paths, std::size_t rounds,
                                            double delay, bool infiniteRepeat,
                                            PlaybackReport report) {
  for (const std::string& path : paths) {
    std::error_code error;
    if (!std::filesystem::exists(pathFromUtf8(path), error)) {
      spdlog::error("ERROR: File does not exist: {}", path);
      return nullptr;
    }
  }
  joinEnded();
  std::shared_ptr<PlayerThread> thread(new PlayerThread(
      *this, std::move(paths), rounds, delay, infiniteRepeat, factory_(), std::move(report)));
  std::lock_guard lock(mutex_);
  threads_.push_back(thread);
  started_.push_back(thread);
  try {
    if (holder_ == std::this_thread::get_id()) {
      thread->prepare();
      held_.push_back(thread);
    } else {
      thread->start();
    }
  } catch (...) {
    threads_.pop_back();
    started_.pop_back();
    throw;
  }
  return thread;
}

void Player::stopAll() {
  std::lock_guard lock(mutex_);
  for (const auto& thread : threads_) {
    if (thread->isAlive()) {
      thread->abortPlay();
    }
  }
  threads_.clear();
}

bool Player::isPlaying() const {
  std::lock_guard lock(mutex_);
  return !threads_.empty();
}

std::shared_ptr<PlayerThread> Player::playAudioFile(const std::string& path, int count,
                                                    double delay, PlaybackReport report) {
  if (count == INFINITE_REPEAT) {
    return playFiles({path}, delay, true, std::move(report));
  }
  if (count <= 0)
    return playFiles({}, delay, false, std::move(report));
  return playFilesRepeated({path}, static_cast<std::size_t>(count), delay, std::move(report));
}

std::shared_ptr<PlayerThread> Player::playAudioQueue(std::vector<std::string> paths, double delay,
                                                     PlaybackReport report) {
  return playFiles(std::move(paths), delay, false, std::move(report));
}

void Player::stopAllPlay() {
  stopAll();
}

void Player::warmUp(const std::vector<std::string>& paths) const {
  if (warmUp_)
    warmUp_(paths);
}

Player::StartHold Player::holdStarts() {
  std::lock_guard lock(mutex_);
  if (holder_ != std::thread::id())
    return StartHold(nullptr);
  holder_ = std::this_thread::get_id();
  return StartHold(this);
}

void Player::StartHold::release(const std::function<void()>& beforeLaunch) noexcept {
  if (Player* player = std::exchange(player_, nullptr))
    player->releaseHeld(beforeLaunch);
}

void Player::releaseHeld(const std::function<void()>& beforeLaunch) noexcept {
  std::vector<std::shared_ptr<PlayerThread>> held;
  {
    std::lock_guard lock(mutex_);
    held.swap(held_);
    holder_ = std::thread::id();
  }
  // Every sound first, then the threads: starting a thread takes longer than a sound.
  bool handedOver = false;
  for (const auto& thread : held)
    handedOver = thread->sound() || handedOver;
  // A player woken by its file often waits for a processor: queued behind this thread, or
  // behind a busy one. Stepping aside for a moment lets it run here, or lets this processor,
  // left idle, take it over.
  if (handedOver)
    std::this_thread::sleep_for(HANDOVER_PAUSE);
  if (beforeLaunch)
    beforeLaunch();
  for (const auto& thread : held) {
    try {
      thread->launch();
    } catch (const std::exception& e) {
      spdlog::error("Playback thread error: {}", e.what());
      onThreadEnd(*thread);
    }
  }
}

void Player::onThreadEnd(const PlayerThread& thread) noexcept {
  std::lock_guard lock(mutex_);
  auto listed = std::find_if(threads_.begin(), threads_.end(),
                             [&](const auto& candidate) { return candidate.get() == &thread; });
  if (listed != threads_.end()) {
    threads_.erase(listed);
  }
}

void Player::joinEnded() {
  std::vector<std::shared_ptr<PlayerThread>> ended;
  {
    std::lock_guard lock(mutex_);
    auto firstEnded = std::stable_partition(started_.begin(), started_.end(),
                                            [](const auto& thread) { return thread->isAlive(); });
    ended.assign(std::make_move_iterator(firstEnded), std::make_move_iterator(started_.end()));
    started_.erase(firstEnded, started_.end());
  }
  for (const auto& thread : ended) {
    thread->join();
  }
}

}  // namespace veltrano
