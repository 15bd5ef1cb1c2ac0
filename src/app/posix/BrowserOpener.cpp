#include "app/BrowserOpener.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <spdlog/spdlog.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace veltrano {

BrowserOpener::~BrowserOpener() {
  std::lock_guard lock(mutex_);
  reapers_.clear();  // requests stop and joins each
}

void BrowserOpener::open(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The opener's chatter must not end up in the program's log.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  std::string argument = url;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    spdlog::debug("Cannot start xdg-open: " + std::string(std::strerror(error)));
    return;
  }
  // xdg-open may run the browser in the foreground, so it is reaped in the background.
  std::lock_guard lock(mutex_);
  std::erase_if(reapers_, [](const std::jthread& reaper) { return !reaper.joinable(); });
  reapers_.emplace_back([pid](std::stop_token stop) {
    while (!stop.stop_requested()) {
      pid_t done = waitpid(pid, nullptr, WNOHANG);
      if (done == pid || (done < 0 && errno != EINTR))
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
}

}  // namespace veltrano
