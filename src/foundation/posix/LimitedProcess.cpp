#include "foundation/LimitedProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace veltrano {
namespace {

using Clock = std::chrono::steady_clock;

// The children being waited for, so that the end of the process can kill them. A pid leaves
// before it is reaped, so a kill never reaches a reused pid.
std::mutex runningMutex;
std::vector<pid_t> running;  // protected by runningMutex

void discharge(pid_t pid) noexcept {
  std::lock_guard lock(runningMutex);
  std::erase(running, pid);
}

class Descriptor {
 public:
  Descriptor() = default;
  ~Descriptor() { close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int* out() noexcept { return &fd_; }
  int get() const noexcept { return fd_; }
  void close() noexcept {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Spawn settings: the child's ends on 0 and 1, nothing else open, and the signals this
// process blocks or ignores back to normal.
class SpawnSetup {
 public:
  SpawnSetup(int input, int output) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    posix_spawnattr_init(&attr_);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr_, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGXCPU, SIGCHLD})
      sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attr_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  const posix_spawn_file_actions_t* actions() const noexcept { return &actions_; }
  const posix_spawnattr_t* attr() const noexcept { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

int millisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 1000));
}

// Feeds the input and collects the output until the child closes its output. False when
// the child must be killed: out of time or too much output.
bool exchange(int input, int output, std::string_view data, LimitedProcessOutcome& outcome,
              const LimitedProcessLimits& limits, Clock::time_point deadline) {
  bool writing = true;
  if (data.empty()) {
    ::shutdown(input, SHUT_WR);
    writing = false;
  }
  char buffer[16384];
  while (Clock::now() < deadline) {
    pollfd fds[2] = {{output, POLLIN, 0}, {input, POLLOUT, 0}};
    int ready = ::poll(fds, writing ? 2 : 1, millisecondsUntil(deadline));
    if (ready < 0 && errno != EINTR)
      return false;
    if (ready <= 0)
      continue;
    if (writing && fds[1].revents != 0) {
      // A socket, so that a child gone early is an error here and not a SIGPIPE.
      ssize_t sent = ::send(input, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0)
        data.remove_prefix(static_cast<std::size_t>(sent));
      if ((sent < 0 && errno != EAGAIN && errno != EINTR) || data.empty()) {
        ::shutdown(input, SHUT_WR);
        writing = false;
      }
    }
    if (fds[0].revents != 0) {
      ssize_t count = ::read(output, buffer, sizeof buffer);
      if (count == 0)
        return true;
      if (count < 0 && errno != EAGAIN && errno != EINTR)
        return true;
      if (count > 0) {
        if (outcome.output.size() + static_cast<std::size_t>(count) > limits.maxOutputBytes)
          return false;
        outcome.output.append(buffer, static_cast<std::size_t>(count));
      }
    }
  }
  return false;
}

// The child's end: status once it is gone, waiting no later than the deadline.
int reap(pid_t pid, bool kill, Clock::time_point deadline) {
  int status = 0;
  if (!kill) {
    while (::waitpid(pid, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        kill = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!kill) {
      discharge(pid);
      return status;
    }
  }
  ::kill(pid, SIGKILL);
  discharge(pid);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

LimitedProcessOutcome runLimitedProcess(const std::filesystem::path& program,
                                        const std::vector<std::string>& arguments,
                                        std::string_view input,
                                        const LimitedProcessLimits& limits) {
  LimitedProcessOutcome outcome;
  const auto deadline = Clock::now() + limits.wallClock;
  // Close-on-exec, so that children started by other threads meanwhile hold no end open.
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
    return outcome;
  Descriptor ourInput, childInput, ourOutput, childOutput;
  *ourInput.out() = sockets[0];
  *childInput.out() = sockets[1];
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0)
    return outcome;
  *ourOutput.out() = pipe[0];
  *childOutput.out() = pipe[1];
  ::fcntl(ourOutput.get(), F_SETFL, O_NONBLOCK);

  std::string path = program.string();
  std::vector<char*> argv{path.data()};
  std::vector<std::string> copies(arguments);
  for (auto& argument : copies)
    argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  {
    SpawnSetup setup(childInput.get(), childOutput.get());
    // Enlisted under the same lock it is started under: a kill that sees it running never
    // misses it.
    std::lock_guard lock(runningMutex);
    if (::posix_spawn(&pid, path.c_str(), setup.actions(), setup.attr(), argv.data(), environ) !=
        0) {
      return outcome;
    }
    running.push_back(pid);
  }
  childInput.close();
  childOutput.close();

  bool finished = exchange(ourInput.get(), ourOutput.get(), input, outcome, limits, deadline);
  ourInput.close();
  ourOutput.close();
  int status = reap(pid, !finished, deadline);
  if (finished && WIFEXITED(status)) {
    outcome.end = LimitedProcessOutcome::End::EXITED;
    outcome.exitStatus = WEXITSTATUS(status);
  } else {
    outcome.end = LimitedProcessOutcome::End::KILLED;
    outcome.exitStatus = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    outcome.output.clear();
  }
  return outcome;
}

void killLimitedProcesses() noexcept {
  std::lock_guard lock(runningMutex);
  for (pid_t pid : running)
    ::kill(pid, SIGKILL);
}

}  // namespace veltrano
