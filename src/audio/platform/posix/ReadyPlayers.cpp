#include "audio/platform/posix/ReadyPlayers.hpp"

#include <fcntl.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <exception>
#include <system_error>
#include <thread>

#include "foundation/posix/ChildSpawn.hpp"

namespace veltrano {

namespace {

// Enough of a file queued ahead of the player that a poll every 50 ms never lets it starve.
constexpr int INPUT_BUFFER_BYTES = 1 << 20;
// Enough of what an ended player wrote to hold its last line.
constexpr std::size_t ENDED_REASON_BYTES = 2048;
// How long the destructor waits for a player to end after SIGTERM before SIGKILL.
constexpr auto END_GRACE = std::chrono::milliseconds(500);

}  // namespace

ReadyPlayers::~ReadyPlayers() {
  // The players it started die with it; the rest is collecting them.
  if (spawner_.joinable()) {
    spawner_.request_stop();
    spawner_.join();
  }
  std::lock_guard lock(mutex_);
  for (const Ready& ready : ready_)
    retire(ready.child);
  ready_.clear();
  const auto deadline = std::chrono::steady_clock::now() + END_GRACE;
  while (!retired_.empty() && std::chrono::steady_clock::now() < deadline) {
    reapRetired();
    if (!retired_.empty())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (pid_t pid : retired_) {
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

void ReadyPlayers::prepare(const std::vector<std::vector<std::string>>& commands) {
  {
    std::lock_guard lock(mutex_);
    // Nothing wanted and nothing to end: the idle case costs no wake-up.
    if (commands.empty() && ready_.empty() && retired_.empty())
      return;
    wanted_ = commands;
    requested_ = true;
    if (!spawner_.joinable())
      spawner_ = std::jthread([this](std::stop_token stop) { run(stop); });
  }
  requestChanged_.notify_one();
}

void ReadyPlayers::run(const std::stop_token& stop) noexcept {
  while (true) {
    std::vector<std::vector<std::string>> commands;
    {
      std::unique_lock lock(mutex_);
      if (!requestChanged_.wait(lock, stop, [this] { return requested_; }))
        return;
      requested_ = false;
      commands.swap(wanted_);
    }
    try {
      refresh(commands);
    } catch (const std::exception& e) {
      spdlog::error("Player readying thread error: {}", e.what());
    } catch (...) {
      spdlog::error("Player readying thread error: unknown failure");
    }
  }
}

void ReadyPlayers::refresh(const std::vector<std::vector<std::string>>& commands) {
  std::vector<std::vector<std::string>> missing;
  {
    std::lock_guard lock(mutex_);
    reapRetired();
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(ready_, [&](const Ready& ready) {
      const bool wanted =
          std::find(commands.begin(), commands.end(), ready.command) != commands.end();
      if (hasEnded(ready.child.pid)) {
        logEnded(ready.child);
        closeAll(ready.child);
        return true;
      }
      if (wanted || now - ready.since < READY_PLAYER_LIFETIME)
        return false;
      retire(ready.child);
      return true;
    });
    for (const auto& command : commands) {
      auto ready = std::find_if(ready_.begin(), ready_.end(), [&](const Ready& candidate) {
        return candidate.command == command;
      });
      if (ready != ready_.end())
        ready->since = now;
      else if (std::find(missing.begin(), missing.end(), command) == missing.end())
        missing.push_back(command);
    }
  }
  // Started without the lock: a bell of this second may be taking its player meanwhile.
  for (const auto& command : missing) {
    std::optional<Child> child = start(command);
    std::lock_guard lock(mutex_);
    if (child)
      ready_.push_back(Ready{command, *child, std::chrono::steady_clock::now()});
  }
}

std::optional<ReadyPlayers::Child> ReadyPlayers::take(const std::vector<std::string>& command) {
  std::lock_guard lock(mutex_);
  auto ready = std::find_if(ready_.begin(), ready_.end(),
                            [&](const Ready& candidate) { return candidate.command == command; });
  if (ready == ready_.end())
    return std::nullopt;
  const Child child = ready->child;
  ready_.erase(ready);
  if (hasEnded(child.pid)) {
    // It failed while it waited (its device, say): a fresh start plays or reports why.
    logEnded(child);
    closeAll(child);
    return std::nullopt;
  }
  return child;
}

std::optional<ReadyPlayers::Child> ReadyPlayers::start(const std::vector<std::string>& command) {
  int input[2] = {-1, -1};
  int errors[2] = {-1, -1};
  try {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0 ||
        pipe2(errors, O_CLOEXEC) != 0 || fcntl(errors[0], F_SETFL, O_NONBLOCK) != 0)
      throw std::system_error(errno, std::generic_category(), "Cannot start " + command.at(0));
    // The player only reads; this end only writes, without ever blocking a poll.
    shutdown(input[0], SHUT_RD);
    shutdown(input[1], SHUT_WR);
    setsockopt(input[0], SOL_SOCKET, SO_SNDBUF, &INPUT_BUFFER_BYTES, sizeof INPUT_BUFFER_BYTES);
    fcntl(input[0], F_SETFL, O_NONBLOCK);
    std::vector<std::string> argv = command;
    argv.push_back("-");
    const pid_t pid = spawnChild(argv, -1, errors[1], input[1]);
    close(input[1]);
    close(errors[1]);
    std::lock_guard lock(mutex_);
    lastStartError_.clear();
    return Child{pid, input[0], errors[0]};
  } catch (const std::exception& e) {
    for (int fd : {input[0], input[1], errors[0], errors[1]}) {
      if (fd >= 0)
        close(fd);
    }
    std::lock_guard lock(mutex_);
    if (lastStartError_ != e.what()) {
      lastStartError_ = e.what();
      spdlog::warn("Cannot ready a player ahead of its sound: {}", lastStartError_);
    }
    return std::nullopt;
  }
}

bool ReadyPlayers::hasEnded(pid_t pid) noexcept {
  pid_t result;
  do {
    result = waitpid(pid, nullptr, WNOHANG);
  } while (result < 0 && errno == EINTR);
  return result != 0;
}

void ReadyPlayers::logEnded(const Child& child) noexcept {
  char tail[ENDED_REASON_BYTES];
  std::size_t length = 0;
  for (ssize_t got;
       length < sizeof tail && (got = read(child.errors, tail + length, sizeof tail - length)) > 0;)
    length += static_cast<std::size_t>(got);
  std::string reason(tail, length);
  while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back())))
    reason.pop_back();
  reason = reason.substr(
      reason.find_last_of('\n') == std::string::npos ? 0 : reason.find_last_of('\n') + 1);
  spdlog::warn("A player readied for a sound ended before it was needed: {}",
               reason.empty() ? "no reason given" : reason);
}

void ReadyPlayers::closeAll(const Child& child) noexcept {
  close(child.input);
  close(child.errors);
}

void ReadyPlayers::retire(const Child& child) noexcept {
  kill(child.pid, SIGTERM);
  closeAll(child);
  retired_.push_back(child.pid);
}

void ReadyPlayers::reapRetired() noexcept {
  std::erase_if(retired_, [](pid_t pid) { return hasEnded(pid); });
}

}  // namespace veltrano
