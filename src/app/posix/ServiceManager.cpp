#include "app/ServiceManager.hpp"

#include <spdlog/sinks/systemd_sink.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace veltrano {

namespace {

// A ping every quarter of the interval leaves room for a slow round or a busy machine.
constexpr int PINGS_PER_INTERVAL = 4;

}  // namespace

ServiceManager::ServiceManager() {
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
    pingInterval_ = std::chrono::microseconds(usec / PINGS_PER_INTERVAL);
  }
}

void ServiceManager::notifyReady() noexcept {
  sd_notify(0, "READY=1");
}

void ServiceManager::notifyStopping() noexcept {
  sd_notify(0, "STOPPING=1");
}

void ServiceManager::watchdogPing() noexcept {
  if (pingInterval_.count() == 0) {
    return;
  }
  auto now = std::chrono::steady_clock::now();
  if (now - lastPing_ < pingInterval_) {
    return;
  }
  lastPing_ = now;
  sd_notify(0, "WATCHDOG=1");
}

bool logToJournalWhenConnected() {
  // JOURNAL_STREAM names the device and inode of the stream systemd gave us; a child of the
  // service with its output redirected elsewhere must keep writing there.
  const char* stream = std::getenv("JOURNAL_STREAM");
  struct stat status {};
  if (stream == nullptr || ::fstat(STDERR_FILENO, &status) != 0) {
    return false;
  }
  std::string expected = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  if (expected != stream) {
    return false;
  }
  auto logger = std::make_shared<spdlog::logger>(
      "", std::make_shared<spdlog::sinks::systemd_sink_mt>("veltrano-player"));
  spdlog::set_default_logger(logger);
  return true;
}

}  // namespace veltrano
