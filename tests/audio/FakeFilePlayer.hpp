#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "audio/platform/FilePlayer.hpp"
#include "audio/platform/FilePlayerFactory.hpp"

namespace veltrano::test {

// What the fake players of one test do and what they were asked. Shared by the test and every
// fake made by its factory; all members are protected by mutex_.
class FakeStage {
 public:
  static constexpr int FOREVER = -1;

  // How many isPlaying polls answer true for a file (default 0: it ends at once).
  void setPolls(const std::string& path, int polls) {
    with([&] { polls_[path] = polls; });
  }
  void failStart(const std::string& path, std::string message) {
    with([&] { startFailures_[path] = std::move(message); });
  }
  void failClose(const std::string& path, std::string message) {
    with([&] { closeFailures_[path] = std::move(message); });
  }
  void failPolling(const std::string& path, std::string message) {
    with([&] { pollFailures_[path] = std::move(message); });
  }

  // "start <path>", "close <path> aborted" or "close <path> ended", in call order.
  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Waits until the given number of events was recorded; false after a generous time-out.
  bool waitForEvents(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return events_.size() >= count; });
  }
  int playersMade() const {
    std::lock_guard lock(mutex_);
    return playersMade_;
  }

  FilePlayerFactory factory();

 private:
  class Fake;

  template <typename F>
  void with(F change) {
    std::lock_guard lock(mutex_);
    change();
  }
  void record(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, int> polls_;
  std::map<std::string, std::string> startFailures_;
  std::map<std::string, std::string> closeFailures_;
  std::map<std::string, std::string> pollFailures_;
  std::vector<std::string> events_;
  int playersMade_ = 0;
};

class FakeStage::Fake final : public FilePlayer {
 public:
  explicit Fake(FakeStage& stage) : stage_(stage) {}

  void startPlay(const std::string& path) override {
    std::string failure;
    {
      std::lock_guard lock(stage_.mutex_);
      auto found = stage_.startFailures_.find(path);
      if (found != stage_.startFailures_.end()) {
        failure = found->second;
      }
      auto polls = stage_.polls_.find(path);
      remaining_ = polls == stage_.polls_.end() ? 0 : polls->second;
    }
    stage_.record("start " + path);
    if (!failure.empty()) {
      throw std::runtime_error(failure);
    }
    path_ = path;
  }

  bool isPlaying() override {
    {
      std::lock_guard lock(stage_.mutex_);
      auto found = stage_.pollFailures_.find(path_);
      if (found != stage_.pollFailures_.end()) {
        throw std::runtime_error(found->second);
      }
    }
    if (remaining_ == FOREVER) {
      return true;
    }
    return remaining_-- > 0;
  }

  void closeFile(bool wasAborted) override {
    stage_.record("close " + path_ + (wasAborted ? " aborted" : " ended"));
    std::lock_guard lock(stage_.mutex_);
    auto found = stage_.closeFailures_.find(path_);
    if (found != stage_.closeFailures_.end()) {
      throw std::runtime_error(found->second);
    }
  }

 private:
  FakeStage& stage_;
  std::string path_;
  int remaining_ = 0;
};

inline FilePlayerFactory FakeStage::factory() {
  return [this]() -> std::unique_ptr<FilePlayer> {
    with([&] { ++playersMade_; });
    return std::make_unique<Fake>(*this);
  };
}

// A pause that records its lengths and returns at once, or, while held, waits for release (or
// the player's shutdown).
class FakePause {
 public:
  void hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
  }
  void release() {
    {
      std::lock_guard lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  std::vector<double> lengths() const {
    std::lock_guard lock(mutex_);
    return lengths_;
  }
  bool waitForPauses(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return lengths_.size() >= count; });
  }

  std::function<void(std::chrono::duration<double>, std::stop_token)> function() {
    return [this](std::chrono::duration<double> length, std::stop_token shutdown) {
      std::unique_lock lock(mutex_);
      lengths_.push_back(length.count());
      changed_.notify_all();
      changed_.wait(lock, shutdown, [&] { return !held_; });
    };
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any changed_;
  bool held_ = false;
  std::vector<double> lengths_;
};

}  // namespace veltrano::test
