#include "app/ServiceManager.hpp"

namespace veltrano {

// Windows has no notify protocol and no journal: the program runs as before.
ServiceManager::ServiceManager() = default;
void ServiceManager::notifyReady() noexcept {}
void ServiceManager::notifyStopping() noexcept {}
void ServiceManager::watchdogPing() noexcept {}

bool logToJournalWhenConnected() {
  return false;
}

}  // namespace veltrano
