#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "audio/platform/FilePlayer.hpp"

namespace veltrano {

class Player;

// Hears, on the playback thread, how a playback went: once with nothing when its first file
// started, and once with the reason when a file could not start or its player failed.
using PlaybackReport = std::function<void(const std::optional<std::string>& failure)>;

// One playback: plays its files one after the other through its own file player, pausing
// between them, until the list is done or it is aborted. Created and started by Player only.
class PlayerThread {
 public:
  static constexpr int TICKS_PER_SECOND = 20;

  // Asks the owning player to stop it and joins, if it still runs.
  ~PlayerThread();
  PlayerThread(const PlayerThread&) = delete;
  PlayerThread& operator=(const PlayerThread&) = delete;

  // Stops the current file within a tick. A pause between files runs to its end first.
  void abortPlay() noexcept;
  // Started and not yet ended.
  bool isAlive() const noexcept;
  // Blocks until the thread has ended (it has then left its player's list).
  void waitForEnd() const;

  // One round of the files; they play rounds() times over (endlessly with infiniteRepeat).
  const std::vector<std::string>& paths() const noexcept { return paths_; }
  std::size_t rounds() const noexcept { return rounds_; }
  double delay() const noexcept { return delay_; }
  bool infiniteRepeat() const noexcept { return infiniteRepeat_; }
  bool doAbort() const noexcept { return doAbort_.load(); }

 private:
  friend class Player;

  // Hears, on the playback thread, how a playback went: once with nothing when its first file
  // started, and once with the reason when a file could not start or its player failed.
  using PlaybackReport = std::function<void(const std::optional<std::string>& failure)>;

  PlayerThread(Player& owner, std::vector<std::string> paths, std::size_t rounds, double delay,
               bool infiniteRepeat, std::unique_ptr<FilePlayer> player, PlaybackReport report);

  // Caller: Player, once. The first file starts right here when its player can start it at
  // once: a bell's sound must not wait for a new thread to be scheduled.
  void start();
  // start in three steps, for a start held until a given moment (see Player::StartHold):
  // prepare gets the first file's player ready, sound starts it (unless aborted meanwhile;
  // true when it did, false when the thread starts it), launch starts the thread. Caller:
  // Player, once each, in this order.
  void prepare() noexcept;
  bool sound() noexcept;
  void launch();
  bool playsAnything() const noexcept {
    return !paths_.empty() && (rounds_ > 0 || infiniteRepeat_);
  }
  // Caller: Player, from a thread other than this one.
  void join() noexcept;
  void requestShutdown() noexcept;

  void run(std::stop_token shutdown) noexcept;
  void playAll(const std::stop_token& shutdown);
  // False when the file plays on past deadline (none: no limit).
  bool waitWhilePlaying(std::optional<std::chrono::steady_clock::time_point> deadline);
  void closeAndLog(const std::string& path, bool wasAborted) noexcept;
  void reportStarted() noexcept;
  void reportFailed(const std::string& reason) noexcept;

  Player& owner_;  // outlives the running thread: the player joins it before it goes
  const std::vector<std::string> paths_;
  const std::size_t rounds_;
  std::atomic<bool> doAbort_{false};  // written by any thread, polled every tick by this one
  const double delay_;
  const bool infiniteRepeat_;
  std::unique_ptr<FilePlayer> player_;  // used only by this thread once it runs
  const PlaybackReport report_;
  bool firstStarted_ = false;     // set by start before the thread runs
  bool startReported_ = false;    // used only by this thread
  bool failureReported_ = false;  // used only by this thread

  std::atomic<bool> started_{false};
  mutable std::mutex endMutex_;
  mutable std::condition_variable endChanged_;
  bool ended_ = false;  // protected by endMutex_

  std::jthread thread_;  // last, so it is joined before the members it uses go
};

}  // namespace veltrano
