#include "app/ShutdownSignals.hpp"

#include <windows.h>

#include <mutex>

namespace veltrano {
namespace {

// The console's control handler is a plain function: it finds the one listener here.
std::mutex listenerMutex;
std::function<void()>* listener = nullptr;  // protected by listenerMutex

BOOL WINAPI onConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
    return FALSE;
  std::lock_guard lock(listenerMutex);
  if (listener)
    (*listener)();
  return TRUE;
}

}  // namespace

void ShutdownSignals::blockInThisThread() noexcept {}

ShutdownSignals::ShutdownSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  std::lock_guard lock(listenerMutex);
  listener = &onSignal_;
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

ShutdownSignals::~ShutdownSignals() {
  std::lock_guard lock(listenerMutex);
  SetConsoleCtrlHandler(onConsoleControl, FALSE);
  listener = nullptr;
}

}  // namespace veltrano
