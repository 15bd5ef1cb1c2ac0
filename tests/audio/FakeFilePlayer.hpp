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

// How a fake file player treats one path; a non-empty failure text makes that call throw it.
struct FakeScript {
  int polls = 0;  // isPlaying answers true this often (FakeStage::FOREVER: until aborted)
  std::string startFailure;
  std::string pollFailure;
  std::string closeFailure;
};

// Scripts the fake players of one test and records what they were asked: "start <path>",
// "close <path> aborted" or "close <path> ended", in call order. Thread-safe.
class FakeStage {
 public:
  static constexpr int FOREVER = -1;

  void setPolls(const std::string& path, int polls) {
    with(path, [&](FakeScript& s) { s.polls = polls; });
  }
  void failStart(const std::string& path, std::string message) {
    with(path, [&](FakeScript& s) { s.startFailure = std::move(message); });
  }
  void failPolling(const std::string& path, std::string message) {
    with(path, [&](FakeScript& s) { s.pollFailure = std::move(message); });
  }
  void failClose(const std::string& path, std::string message) {
    with(path, [&](FakeScript& s) { s.closeFailure = std::move(message); });
  }
  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // Waits until that many events were recorded; false after a generous time-out.
  bool waitForEvents(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10),
                             [&] { return events_.size() >= count; });
  }
  int playersMade() const {
    std::lock_guard lock(mutex_);
    return playersMade_;
  }

  FilePlayerFactory factory() {
    return [this]() -> std::unique_ptr<FilePlayer> {
      std::lock_guard lock(mutex_);
      ++playersMade_;
      return std::make_unique<Fake>(*this);
    };
  }

 private:
  class Fake final : public FilePlayer {
   public:
    explicit Fake(FakeStage& stage) : stage_(stage) {}
    void startPlay(const std::string& path) override {
      script_ = stage_.record("start " + path, path);
      if (!script_.startFailure.empty()) {
        throw std::runtime_error(script_.startFailure);
      }
      path_ = path;
    }
    bool isPlaying() override {
      if (!script_.pollFailure.empty()) {
        throw std::runtime_error(script_.pollFailure);
      }
      return script_.polls == FOREVER || script_.polls-- > 0;
    }
    void closeFile(bool wasAborted) override {
      stage_.record("close " + path_ + (wasAborted ? " aborted" : " ended"), path_);
      if (!script_.closeFailure.empty()) {
        throw std::runtime_error(script_.closeFailure);
      }
    }

   private:
    FakeStage& stage_;
    std::string path_;
    FakeScript script_;
  };

  template <typename Change>
  void with(const std::string& path, Change change) {
    std::lock_guard lock(mutex_);
    change(scripts_[path]);
  }

  FakeScript record(std::string event, const std::string& path) {
    FakeScript script;
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
      if (auto found = scripts_.find(path); found != scripts_.end()) {
        script = found->second;
      }
    }
    changed_.notify_all();
    return script;
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, FakeScript> scripts_;
  std::vector<std::string> events_;
  int playersMade_ = 0;
};

// A pause that records its lengths and returns at once, or, while held, waits for release (or
// the player's shutdown).
class FakePause {
 public:
  void hold(bool held) {
    {
      std::lock_guard lock(mutex_);
      held_ = held;
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
