#include "foundation/WallClockWait.hpp"

#include <condition_variable>
#include <mutex>

namespace veltrano {

// Windows has no wait that a clock step ends: the wait is bounded by the caller (a second at
// most), which bounds how late a step is noticed.
struct WallClockWait::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool interrupted = false;  // protected by mutex
};

WallClockWait::WallClockWait() : state_(std::make_unique<State>()) {}

WallClockWait::~WallClockWait() = default;

WallClockWait::Woken WallClockWait::waitUntil(
    std::chrono::system_clock::time_point deadline) noexcept {
  std::unique_lock lock(state_->mutex);
  if (state_->changed.wait_until(lock, deadline, [this] { return state_->interrupted; }))
    return Woken::INTERRUPTED;
  return Woken::AT_DEADLINE;
}

void WallClockWait::interrupt() noexcept {
  {
    std::lock_guard lock(state_->mutex);
    state_->interrupted = true;
  }
  state_->changed.notify_all();
}

}  // namespace veltrano
