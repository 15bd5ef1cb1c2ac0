#include "foundation/QuickWake.hpp"

#include <fcntl.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace veltrano {

namespace {

// The kernel's processor wake-up latency limit: an open file holding a binary 32-bit value in
// microseconds, in force until the file is closed.
constexpr const char* LATENCY_LIMIT = "/dev/cpu_dma_latency";

void sayUnavailableOnce(int error) noexcept {
  static std::atomic<bool> said{false};
  if (said.exchange(true))
    return;
  spdlog::info(
      "A bell may start a millisecond or two late: processors cannot be kept quick to wake "
      "({}: {})",
      LATENCY_LIMIT, std::strerror(error));
}

}  // namespace

QuickWake::QuickWake() noexcept {
  const int request = open(LATENCY_LIMIT, O_WRONLY | O_CLOEXEC);
  if (request < 0) {
    sayUnavailableOnce(errno);
    return;
  }
  const std::int32_t noDelay = 0;
  if (write(request, &noDelay, sizeof noDelay) != static_cast<ssize_t>(sizeof noDelay)) {
    sayUnavailableOnce(errno);
    close(request);
    return;
  }
  request_ = request;
}

QuickWake::~QuickWake() {
  if (request_ >= 0)
    close(request_);
}

}  // namespace veltrano
