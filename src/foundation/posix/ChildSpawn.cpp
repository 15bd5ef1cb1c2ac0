#include "foundation/posix/ChildSpawn.hpp"

#include <fcntl.h>
#include <linux/close_range.h>
#include <pthread.h>
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

// The child's side of vfork: it runs on the parent's memory and stack until exec, so it calls
// only async-signal-safe functions, touches nothing of the parent's and ends in exec or _exit.
// Reports a failure on reportFd.
[[noreturn]] void becomeChild(pid_t parent, const char* program, char* const* argv, int stdinFd,
                              int stdoutFd, int stderrFd, int reportFd) noexcept {
  int error = 0;
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
    // The parent is already gone: it cannot want a sound any more.
    _exit(127);
  }
  // A handler of the parent must never run here, on the parent's memory: every caught signal
  // goes back to its default before the mask (all blocked by the parent) is lifted.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN &&
        current.sa_handler != SIG_DFL)
      sigaction(sig, &defaults, nullptr);
  }
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD})
    sigaction(sig, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if ((stdinFd >= 0 && dup2(stdinFd, STDIN_FILENO) < 0) ||
      (stdoutFd >= 0 && dup2(stdoutFd, STDOUT_FILENO) < 0) ||
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

pid_t spawnChild(const std::vector<std::string>& argv, int stdoutFd, int stderrFd, int stdinFd) {
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
  // vfork rather than fork: the child borrows this process's memory until its exec instead of
  // copying its page tables, which costs a large process milliseconds right when a bell is due.
  // posix_spawn would be as cheap but cannot set the parent-death signal in the child.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t pid = vfork();
  if (pid == 0)
    becomeChild(parent, program.c_str(), args.data(), stdinFd, stdoutFd, stderrFd, report[1]);
  const int forkError = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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
