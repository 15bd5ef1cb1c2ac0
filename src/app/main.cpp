#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "app/Application.hpp"
#include "app/OpenFileLimit.hpp"
#include "app/ServiceManager.hpp"
#include "app/ShutdownSignals.hpp"
#include "foundation/Log.hpp"

// "--tray" runs the program as the tray host does (the browser opens at start); every other
// argument is the program's own command line.
int main(int argc, char** argv) {
  veltrano::ShutdownSignals::blockInThisThread();
  veltrano::raiseOpenFileLimit();
  veltrano::logToJournalWhenConnected();
  veltrano::configureLogging(false);
  std::vector<std::string> arguments(argv, argv + argc);
  auto tray = std::find(arguments.begin() + 1, arguments.end(), "--tray");
  bool isTray = tray != arguments.end();
  if (isTray)
    arguments.erase(tray);
  try {
    veltrano::ApplicationOptions options;
    options.arguments = std::move(arguments);
    veltrano::Application application(std::move(options));
    veltrano::ShutdownSignals signals([&application] { application.stop(); });
    return application.start(isTray);
  } catch (const std::exception& e) {
    spdlog::error(std::string("Veltrano Player cannot start: ") + e.what());
    return 1;
  }
}
