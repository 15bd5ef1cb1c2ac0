#pragma once

#include <chrono>
#include <thread>

#include "storage/Backups.hpp"

namespace veltrano {

// Takes the day's snapshot of the stores on a thread of its own: at start, and at each check
// after the date has changed. Kept apart from the scheduler so that a slow disk never delays
// a bell.
class DailySnapshots {
 public:
  explicit DailySnapshots(Backups& backups,
                          std::chrono::milliseconds checkInterval = std::chrono::minutes(1));
  ~DailySnapshots();
  DailySnapshots(const DailySnapshots&) = delete;
  DailySnapshots& operator=(const DailySnapshots&) = delete;

  // Call once the stores are loaded. Does nothing when already started.
  void start();
  // Ends the thread within moments and joins it.
  void stop() noexcept;

 private:
  Backups& backups_;
  const std::chrono::milliseconds checkInterval_;
  std::jthread thread_;
};

}  // namespace veltrano
