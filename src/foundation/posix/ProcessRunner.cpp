#ifndef _WIN32

#include "foundation/ProcessRunner.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "foundation/posix/ChildSpawn.hpp"

namespace veltrano {

namespace {

// Closes the descriptors it holds when it goes out of scope.
struct Pipe {
  int fds[2] = {-1, -1};
  ~Pipe() {
    for (int fd : fds) {
      if (fd >= 0) {
        ::close(fd);
      }
    }
  }
  void closeEnd(int which) noexcept {
    ::close(fds[which]);
    fds[which] = -1;
  }
};

int waitForExit(pid_t pid) noexcept {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  // Same convention as a shell: killed by signal N reads as 128 + N.
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace

ProcessOutcome runProcess(const std::vector<std::string>& argv) {
  ProcessOutcome outcome;
  if (argv.empty()) {
    return outcome;
  }
  // Close-on-exec, so that children started by other threads meanwhile do not inherit it
  // and keep the read end from seeing end-of-file.
  Pipe pipe;
  if (::pipe2(pipe.fds, O_CLOEXEC) != 0) {
    return outcome;
  }
  const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (devNull < 0) {
    return outcome;
  }
  pid_t pid = 0;
  try {
    pid = spawnChild(argv, pipe.fds[1], devNull);
  } catch (const std::exception&) {
    ::close(devNull);
    return outcome;
  }
  ::close(devNull);
  pipe.closeEnd(1);

  char buffer[4096];
  for (;;) {
    ssize_t count = ::read(pipe.fds[0], buffer, sizeof buffer);
    if (count > 0) {
      outcome.standardOutput.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      break;
    }
  }
  outcome.started = true;
  outcome.exitStatus = waitForExit(pid);
  return outcome;
}

}  // namespace veltrano

#endif
