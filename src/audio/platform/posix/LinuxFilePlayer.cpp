#include "audio/platform/posix/LinuxFilePlayer.hpp"

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
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
#include <utility>
#include <vector>

#include "foundation/posix/ChildSpawn.hpp"

namespace veltrano {

namespace {

// After SIGTERM a player normally exits within milliseconds: closing waits this long for it.
constexpr auto CLOSE_REAP = std::chrono::milliseconds(200);
// One that ignores SIGTERM (a hung output module) gets SIGKILL this long after it.
constexpr auto KILL_GRACE = std::chrono::seconds(2);
// Enough of a player's standard error to hold its reason for failing, never more.
constexpr std::size_t ERROR_TAIL_BYTES = 2048;
constexpr std::size_t REASON_LINES = 4;
// What a ready player is handed of its file at a time.
constexpr std::size_t FEED_CHUNK_BYTES = 64 * 1024;
// The first hand-over is small: the player wakes once its first bytes are queued, and a large
// send makes it wait for the copy (and the kernel's search for memory) of the whole of it. The
// rest follows at once.
constexpr std::size_t FIRST_SEND_BYTES = 4096;

// The last few non-empty lines of text, joined into one log line.
std::string lastLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t end = text.size();
  while (end > 0 && lines.size() < REASON_LINES) {
    std::size_t begin = text.rfind('\n', end - 1);
    begin = begin == std::string::npos ? 0 : begin + 1;
    std::string line = text.substr(begin, end - begin);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
      line.pop_back();
    if (!line.empty())
      lines.insert(lines.begin(), line);
    end = begin == 0 ? 0 : begin - 1;
  }
  std::string joined;
  for (const auto& line : lines)
    joined += (joined.empty() ? "" : " | ") + line;
  return joined;
}

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

}  // namespace

LinuxFilePlayer::LinuxFilePlayer(std::string device, std::shared_ptr<ReadyPlayers> ready)
    : device_(std::move(device)), ready_(std::move(ready)) {}

LinuxFilePlayer::~LinuxFilePlayer() {
  dropChild();
}

std::optional<std::vector<std::string>> LinuxFilePlayer::commandFor(const std::string& path,
                                                                    const std::string& device) {
  const std::string ext = lowerExtension(path);
  std::vector<std::string> command;
  if (ext == ".mp3") {
    command = {"mpg123"};
    // The same ALSA name must work for both players, so mpg123 is held to its ALSA output.
    if (!device.empty())
      command.insert(command.end(), {"-o", "alsa", "-a", device});
  } else if (ext == ".wav") {
    command = {"aplay"};
    if (!device.empty())
      command.insert(command.end(), {"-D", device});
  } else {
    return std::nullopt;
  }
  return command;
}

void LinuxFilePlayer::startPlay(const std::string& path) {
  std::optional<std::vector<std::string>> command = commandFor(path, device_);
  if (!command)
    throw std::invalid_argument("Unsupported file format: " + lowerExtension(path));

  // A previous file is normally closed and reaped by now; never leave one behind.
  dropChild();
  errorTail_.clear();
  if (std::exchange(firstFile_, false) && ready_ && startReady(*command, path))
    return;

  const std::string& program = command->front();
  std::vector<std::string> arguments = *command;
  arguments.push_back(path);
  // The read end never blocks: it is drained while the playback thread polls. The player's
  // end blocks as usual, or a chatty player would lose its last lines, its reason, whenever
  // the pipe is full.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0 || fcntl(fds[0], F_SETFL, O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "Cannot start " + program);
  }
  pid_t pid = -1;
  try {
    pid = spawnChild(arguments, -1, fds[1]);
  } catch (...) {
    close(fds[0]);
    close(fds[1]);
    throw;
  }
  close(fds[1]);
  errorPipe_ = fds[0];
  program_ = program;
  pid_ = pid;
  terminateSent_ = false;
}

void LinuxFilePlayer::dropChild() noexcept {
  closeInput();
  finishChild();
  closeErrorPipe();
}

void LinuxFilePlayer::handOverHere() noexcept {
  // Woken by its file, a player goes to whichever processor the kernel picks, often a busy
  // one, where it may wait milliseconds while this one falls idle. The caller steps aside
  // right after a hand-over, so the player is woken onto this processor and may then go
  // anywhere again.
  cpu_set_t everywhere;
  cpu_set_t onlyHere;
  CPU_ZERO(&onlyHere);
  bool pinned = false;
  if (const int here = sched_getcpu();
      here >= 0 && sched_getaffinity(0, sizeof everywhere, &everywhere) == 0) {
    CPU_SET(here, &onlyHere);
    pinned = sched_setaffinity(pid_, sizeof onlyHere, &onlyHere) == 0;
  }
  feed();
  if (pinned)
    sched_setaffinity(pid_, sizeof everywhere, &everywhere);
}

bool LinuxFilePlayer::startAtOnce(const std::string& path) noexcept {
  if (!prepared_.empty()) {
    const bool same = std::exchange(prepared_, {}) == path;
    firstFile_ = false;
    if (same) {
      handOverHere();
      return true;
    }
    dropChild();  // readied for another file: startPlay starts this one
    return false;
  }
  if (!std::exchange(firstFile_, false) || !ready_ || pid_ >= 0)
    return false;
  try {
    std::optional<std::vector<std::string>> command = commandFor(path, device_);
    return command && startReady(*command, path);
  } catch (...) {
    return false;  // startPlay tries again, and says why it cannot
  }
}

void LinuxFilePlayer::prepareAtOnce(const std::string& path) noexcept {
  if (!firstFile_ || !ready_ || pid_ >= 0 || !prepared_.empty())
    return;
  try {
    std::optional<std::vector<std::string>> command = commandFor(path, device_);
    if (command && takeReady(*command, path))
      prepared_ = path;
  } catch (...) {
    dropChild();  // startAtOnce then starts it the usual way
  }
}

bool LinuxFilePlayer::startReady(const std::vector<std::string>& command, const std::string& path) {
  if (!takeReady(command, path))
    return false;
  feed();
  return true;
}

bool LinuxFilePlayer::takeReady(const std::vector<std::string>& command, const std::string& path) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0)
    return false;  // a fresh player says why
  std::optional<ReadyPlayers::Child> child = ready_->take(command);
  if (!child) {
    close(file);
    return false;
  }
  pid_ = child->pid;
  errorPipe_ = child->errors;
  input_ = child->input;
  file_ = file;
  program_ = command.front();
  terminateSent_ = false;
  buffer_.resize(FEED_CHUNK_BYTES);
  pendingFrom_ = pendingTo_ = 0;
  sentAny_ = false;
  ssize_t count;
  do {
    count = read(file_, buffer_.data(), buffer_.size());
  } while (count < 0 && errno == EINTR);
  if (count > 0)
    pendingTo_ = static_cast<std::size_t>(count);
  return true;  // on a read failure or an empty file, feed ends the input and the player says why
}

void LinuxFilePlayer::feed() noexcept {
  while (input_ >= 0) {
    if (pendingFrom_ == pendingTo_) {
      if (file_ < 0) {
        closeInput();  // all of it passed: the player sees the end of its file
        return;
      }
      const ssize_t count = read(file_, buffer_.data(), buffer_.size());
      if (count < 0 && errno == EINTR)
        continue;
      if (count <= 0) {
        // The end, or a read failure: the player plays what it got.
        close(file_);
        file_ = -1;
        continue;
      }
      pendingFrom_ = 0;
      pendingTo_ = static_cast<std::size_t>(count);
    }
    const std::size_t size = pendingTo_ - pendingFrom_;
    const ssize_t sent = send(input_, buffer_.data() + pendingFrom_,
                              sentAny_ ? size : std::min(size, FIRST_SEND_BYTES),
                              MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR)
      continue;
    if (sent < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK)
        closeInput();  // the player is gone: its exit status says why
      return;
    }
    pendingFrom_ += static_cast<std::size_t>(sent);
    sentAny_ = true;
  }
}

void LinuxFilePlayer::closeInput() noexcept {
  if (input_ >= 0) {
    close(input_);
    input_ = -1;
  }
  if (file_ >= 0) {
    close(file_);
    file_ = -1;
  }
  pendingFrom_ = pendingTo_ = 0;
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
    feed();
    drainErrors();
    return true;
  }
  if (result == pid_) {
    pid_ = -1;
    closeInput();
    drainErrors();
    closeErrorPipe();
    if (std::string failure = failureOf(status); !failure.empty()) {
      throw std::runtime_error(failure);
    }
    return false;
  }
  if (errno == ECHILD) {  // reaped elsewhere: how it ended is unknown
    pid_ = -1;
    closeErrorPipe();
    return false;
  }
  throw std::system_error(errno, std::generic_category(), "waitpid");
}

void LinuxFilePlayer::drainErrors() noexcept {
  if (errorPipe_ < 0) {
    return;
  }
  char buffer[1024];
  for (;;) {
    ssize_t count = read(errorPipe_, buffer, sizeof buffer);
    if (count > 0) {
      errorTail_.append(buffer, static_cast<std::size_t>(count));
      if (errorTail_.size() > ERROR_TAIL_BYTES) {
        errorTail_.erase(0, errorTail_.size() - ERROR_TAIL_BYTES);
      }
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // nothing more for now, or the child's end is closed
    }
  }
}

void LinuxFilePlayer::closeErrorPipe() noexcept {
  if (errorPipe_ >= 0) {
    close(errorPipe_);
    errorPipe_ = -1;
  }
}

std::string LinuxFilePlayer::failureOf(int status) const {
  std::string failure;
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    failure = program_ + " failed with exit status " + std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status) && !terminateSent_) {
    failure = program_ + " was ended by signal " + std::to_string(WTERMSIG(status));
  } else {
    return "";
  }
  std::string reason = lastLines(errorTail_);
  return reason.empty() ? failure : failure + ": " + reason;
}

void LinuxFilePlayer::closeFile(bool wasAborted) {
  if (wasAborted)
    closeInput();
  if (!wasAborted || pid_ < 0 || terminateSent_) {
    return;
  }
  sendTerminate();
  reapWithin(CLOSE_REAP);
}

void LinuxFilePlayer::sendTerminate() noexcept {
  kill(pid_, SIGTERM);
  terminateSent_ = true;
  terminateSentAt_ = std::chrono::steady_clock::now();
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

bool LinuxFilePlayer::reapWithin(std::chrono::steady_clock::duration timeout) noexcept {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!tryReap()) {
    if (std::chrono::steady_clock::now() >= deadline) {
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
    sendTerminate();
  }
  if (reapWithin(terminateSentAt_ + KILL_GRACE - std::chrono::steady_clock::now())) {
    return;
  }
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace veltrano
