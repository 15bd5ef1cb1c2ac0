#pragma once

#include <chrono>
#include <memory>

namespace veltrano {

// Sleeps until a moment of the wall clock (the real-time clock, not the steady one), so that a
// wait for the start of a second ends right at it however the clock was slewed meanwhile. A
// step of the clock (set by hand or by a time service) ends the wait early, so that the caller
// looks at the new time at once instead of sleeping toward a moment that moved.
class WallClockWait {
 public:
  enum class Woken { AT_DEADLINE, CLOCK_STEPPED, INTERRUPTED };

  WallClockWait();
  ~WallClockWait();
  WallClockWait(const WallClockWait&) = delete;
  WallClockWait& operator=(const WallClockWait&) = delete;

  // Sleeps until the wall clock reads deadline (at once when it already has). One thread
  // waits at a time.
  Woken waitUntil(std::chrono::system_clock::time_point deadline) noexcept;
  // Ends the current wait, and every later one, at once. Any thread may call it.
  void interrupt() noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace veltrano
