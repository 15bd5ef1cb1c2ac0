#include "foundation/posix/ChildSpawn.hpp"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <system_error>

extern char** environ;

namespace veltrano {
namespace {

// The executable file argv[0] names, searched like a shell would; "" when there is none.
std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos)
      return "";
    dirs.remove_prefix(colon + 1);
  }
}

// Marks every descriptor from 3 on close-on-exec. Runs in the child between fork and exec:
// async-signal-safe calls only.
void closeOthersOnExec() noexcept {
  if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
    return;
  rlimit limit{};
  int last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                 ? static_cast<int>(limit.rlim_cur)
                 : 65536;
  for (int fd = 3; fd < last; ++fd)
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// The child's side of the fork; reports a failure on reportFd and exits.
[[noreturn]] void becomeChild(pid_t parent, const char* program, char* const* argv, int stdoutFd,
                              int stderrFd, int reportFd) noexcept {
  int error = 0;
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
    // The parent is already gone: it cannot want a sound any more.
    _exit(127);
  }
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD})
    sigaction(sig, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if ((stdoutFd >= 0 && dup2(stdoutFd, STDOUT_FILENO) < 0) ||
      (stderrFd >= 0 && dup2(stderrFd, STDERR_FILENO) < 0)) {
    error = errno;
  } else {
    closeOthersOnExec();
    execve(program, argv, environ);
    error = errno;
  }
  while (write(reportFd, &error, sizeof error) < 0 && errno == EINTR) {
  }
  _exit(127);
}

}  // namespace

pid_t spawnChild(const std::vector<std::string>& argv, int stdoutFd, int stderrFd) {
  if (argv.empty())
    throw std::system_error(EINVAL, std::generic_category(), "No program to start");
  const std::string program = findProgram(argv[0]);
  if (program.empty())
    throw std::system_error(ENOENT, std::generic_category(), "Cannot start " + argv[0]);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  // The child writes its errno here when exec fails; a successful exec closes it unwritten.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "Cannot start " + argv[0]);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0)
    becomeChild(parent, program.c_str(), args.data(), stdoutFd, stderrFd, report[1]);
  const int forkError = errno;
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    throw std::system_error(forkError, std::generic_category(), "Cannot start " + argv[0]);
  }
  int childError = 0;
  ssize_t count;
  do {
    count = read(report[0], &childError, sizeof childError);
  } while (count < 0 && errno == EINTR);
  close(report[0]);
  if (count > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    throw std::system_error(childError, std::generic_category(), "Cannot start " + argv[0]);
  }
  return pid;
}

}  // namespace veltrano
