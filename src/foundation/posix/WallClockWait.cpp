#include "foundation/WallClockWait.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace veltrano {

// A real-time timer armed at an absolute time, whose expiry is cancelled (ECANCELED) by any
// step of the clock, and an event that interrupt() raises; a wait polls both.
struct WallClockWait::State {
  int timer = -1;
  int interrupted = -1;
};

WallClockWait::WallClockWait() : state_(std::make_unique<State>()) {
  state_->timer = timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
  state_->interrupted = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state_->timer < 0 || state_->interrupted < 0) {
    const int error = errno;
    if (state_->timer >= 0)
      close(state_->timer);
    if (state_->interrupted >= 0)
      close(state_->interrupted);
    throw std::system_error(error, std::generic_category(), "Cannot create a wall-clock timer");
  }
}

WallClockWait::~WallClockWait() {
  close(state_->timer);
  close(state_->interrupted);
}

WallClockWait::Woken WallClockWait::waitUntil(
    std::chrono::system_clock::time_point deadline) noexcept {
  using namespace std::chrono;
  const auto since = duration_cast<nanoseconds>(deadline.time_since_epoch()).count();
  itimerspec at{};
  at.it_value.tv_sec = static_cast<time_t>(since / 1'000'000'000);
  at.it_value.tv_nsec = static_cast<long>(since % 1'000'000'000);
  if (at.it_value.tv_sec <= 0 && at.it_value.tv_nsec <= 0)
    return Woken::AT_DEADLINE;  // zero would disarm the timer, not fire it
  if (timerfd_settime(state_->timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &at, nullptr) !=
      0)
    return errno == ECANCELED ? Woken::CLOCK_STEPPED : Woken::AT_DEADLINE;
  pollfd fds[2] = {{state_->timer, POLLIN, 0}, {state_->interrupted, POLLIN, 0}};
  while (true) {
    const int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready < 0)
      return Woken::AT_DEADLINE;  // cannot happen with valid descriptors; never spin
    if (fds[1].revents != 0)
      return Woken::INTERRUPTED;
    std::uint64_t expirations = 0;
    if (read(state_->timer, &expirations, sizeof expirations) < 0 && errno == ECANCELED)
      return Woken::CLOCK_STEPPED;
    return Woken::AT_DEADLINE;
  }
}

void WallClockWait::interrupt() noexcept {
  const std::uint64_t one = 1;
  while (write(state_->interrupted, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

}  // namespace veltrano
