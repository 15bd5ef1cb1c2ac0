#include "app/ShutdownSignals.hpp"

#include <pthread.h>
#include <signal.h>

namespace veltrano {
namespace {

sigset_t shutdownSignals() noexcept {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

void ShutdownSignals::blockInThisThread() noexcept {
  sigset_t set = shutdownSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ShutdownSignals::ShutdownSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  blockInThisThread();
  thread_ = std::thread([this] {
    sigset_t set = shutdownSignals();
    while (true) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0)
        continue;
      if (closing_.load())
        return;
      onSignal_();
    }
  });
}

ShutdownSignals::~ShutdownSignals() {
  closing_.store(true);
  // Wakes the listening thread, which sees closing_ and ends.
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}

}  // namespace veltrano
