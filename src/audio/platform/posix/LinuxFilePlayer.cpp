#include "audio/platform/posix/LinuxFilePlayer.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace veltrano {

namespace {

// After SIGTERM a player normally exits within milliseconds; these bound the waits for it.
constexpr int CLOSE_REAP_MS = 200;
constexpr int DESTRUCTOR_REAP_MS = 500;

// The lower-cased extension with its dot, of the last path component; a hidden file's leading
// dots do not start an extension.
std::string lowerExtension(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
  while (begin < path.size() && path[begin] == '.') {
    ++begin;
  }
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < begin) {
    return "";
  }
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attr_);
    // The player's chatter on stderr is of no use to anyone.
    posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Sockets and files of the server must not live on in a player.
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    // Whatever this process blocks or ignores, SIGTERM must still end the player.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr_, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGCHLD}) {
      sigaddset(&defaults, sig);
    }
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

}  // namespace

LinuxFilePlayer::~LinuxFilePlayer() {
  finishChild();
}

void LinuxFilePlayer::startPlay(const std::string& path) {
  std::string ext = lowerExtension(path);
  std::string program;
  if (ext == ".mp3") {
    program = "mpg123";
  } else if (ext == ".wav") {
    program = "aplay";
  } else {
    throw std::invalid_argument("Unsupported file format: " + ext);
  }

  // A previous file is normally closed and reaped by now; never leave one behind.
  finishChild();

  std::string argument = path;
  std::vector<char*> argv{program.data(), argument.data(), nullptr};
  SpawnSetup setup;
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (rc != 0) {
    throw std::system_error(rc, std::generic_category(), "Cannot start " + program);
  }
  pid_ = pid;
  terminateSent_ = false;
}

bool LinuxFilePlayer::isPlaying() {
  if (pid_ < 0) {
    return false;
  }
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid_, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == 0) {
    return true;
  }
  if (result == pid_ || errno == ECHILD) {
    pid_ = -1;
    return false;
  }
  throw std::system_error(errno, std::generic_category(), "waitpid");
}

void LinuxFilePlayer::closeFile(bool wasAborted) {
  if (!wasAborted || pid_ < 0 || terminateSent_) {
    return;
  }
  kill(pid_, SIGTERM);
  terminateSent_ = true;
  reapWithin(CLOSE_REAP_MS);
}

bool LinuxFilePlayer::tryReap() noexcept {
  if (pid_ < 0) {
    return true;
  }
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid_, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid_ || (result < 0 && errno == ECHILD)) {
    pid_ = -1;
    return true;
  }
  return false;
}

bool LinuxFilePlayer::reapWithin(int timeoutMs) noexcept {
  for (int waited = 0; !tryReap(); ++waited) {
    if (waited >= timeoutMs) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void LinuxFilePlayer::finishChild() noexcept {
  if (tryReap()) {
    return;
  }
  if (!terminateSent_) {
    kill(pid_, SIGTERM);
    terminateSent_ = true;
  }
  if (reapWithin(DESTRUCTOR_REAP_MS)) {
    return;
  }
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace veltrano
