#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace veltrano {

// Turns a request to end the process (SIGTERM or SIGINT; on Windows Ctrl+C, Ctrl+Break and
// closing the console) into one call of onSignal on a thread of its own, where it may do
// anything a normal thread may. Signals are process-wide, so at most one may exist.
class ShutdownSignals {
 public:
  // Call first thing in main, before any thread starts: every later thread inherits the
  // blocked signals, so only the listening thread ever takes them.
  static void blockInThisThread() noexcept;

  explicit ShutdownSignals(std::function<void()> onSignal);
  // Stops listening; a signal after this is handled by nobody (it stays blocked).
  ~ShutdownSignals();
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

 private:
  std::function<void()> onSignal_;
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

}  // namespace veltrano
