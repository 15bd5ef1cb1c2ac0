#include "storage/DailySnapshots.hpp"

#include <condition_variable>
#include <mutex>

namespace veltrano {

DailySnapshots::DailySnapshots(Backups& backups, std::chrono::milliseconds checkInterval)
    : backups_(backups), checkInterval_(checkInterval) {}

DailySnapshots::~DailySnapshots() {
  stop();
}

void DailySnapshots::start() {
  if (thread_.joinable())
    return;
  thread_ = std::jthread([this](std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any woken;
    while (!stop.stop_requested()) {
      backups_.takeDailySnapshotIfDue();
      std::unique_lock lock(mutex);
      woken.wait_for(lock, stop, checkInterval_, [] { return false; });
    }
  });
}

void DailySnapshots::stop() noexcept {
  if (!thread_.joinable())
    return;
  thread_.request_stop();
  thread_.join();
}

}  // namespace veltrano
