#pragma once

#include <chrono>

namespace veltrano {

// The service manager that started this process (systemd's notify protocol): readiness, the
// watchdog and stopping. Outside a service manager every call does nothing.
class ServiceManager {
 public:
  // Reads NOTIFY_SOCKET and WATCHDOG_USEC of the process.
  ServiceManager();

  // Once the port is bound and the scheduler runs.
  void notifyReady() noexcept;
  void notifyStopping() noexcept;
  // Called after every completed scheduler round, and from nowhere else: a hung scheduler then
  // stops the pings and the service manager restarts the process. Sends at most a few pings
  // per watchdog interval. One thread only.
  void watchdogPing() noexcept;

 private:
  std::chrono::microseconds pingInterval_{0};  // zero when no watchdog is asked for
  std::chrono::steady_clock::time_point lastPing_{};
};

// When systemd connected standard error to the journal, logs go to the journal directly, each
// line with its priority and no second time stamp. True when it switched.
bool logToJournalWhenConnected();

}  // namespace veltrano
