#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/platform/FilePlayer.hpp"
#include "audio/platform/posix/ReadyPlayers.hpp"

namespace veltrano {

// Plays a file through a command-line player child process: "mpg123" for MP3, "aplay" for
// WAVE. Every child it starts is reaped, at the latest by the destructor, and dies with the
// thread that started it (see spawnChild): a playback thread starts, polls and destroys its
// player itself. The first file may instead go to a player readied ahead (see ReadyPlayers),
// fed through its standard input while it plays. Used by one thread at a time, so it needs no
// lock.
class LinuxFilePlayer final : public FilePlayer {
 public:
  // device: an ALSA output name ("aplay -L" lists them); empty for the players' default.
  explicit LinuxFilePlayer(std::string device = "", std::shared_ptr<ReadyPlayers> ready = nullptr);
  // Ends (politely, then by force) and reaps a child that is still there.
  ~LinuxFilePlayer() override;
  LinuxFilePlayer(const LinuxFilePlayer&) = delete;
  LinuxFilePlayer& operator=(const LinuxFilePlayer&) = delete;

  // Throws std::invalid_argument "Unsupported file format: <ext>" for anything but .mp3/.wav
  // and std::system_error when the player program cannot be started.
  void startPlay(const std::string& path) override;
  // Hands the first file of a playback to a player readied for it, if there is one.
  bool startAtOnce(const std::string& path) noexcept override;
  // Takes the player readied for the first file and reads the file's first part into memory.
  void prepareAtOnce(const std::string& path) noexcept override;
  // Non-blocking status query; reaps the child once it has exited. A player that exits with a
  // failure (a bad device, a broken file) throws std::runtime_error with the end of what it
  // wrote on its standard error, so the failure is logged rather than heard as silence.
  bool isPlaying() override;
  // On abort sends the child one SIGTERM; otherwise the child has already ended by itself.
  void closeFile(bool wasAborted) override;

  // The player command for the file on the device, without the file; none for a file that is
  // neither MP3 nor WAVE.
  static std::optional<std::vector<std::string>> commandFor(const std::string& path,
                                                            const std::string& device);

 private:
  // Hands the file to a ready player; false when none is ready or the file cannot be read.
  bool startReady(const std::vector<std::string>& command, const std::string& path);
  // The part of startReady before the file is handed over: the ready player taken, the first
  // part of the file read.
  bool takeReady(const std::vector<std::string>& command, const std::string& path);
  // Ends a player and closes its pipes, whatever state it is in.
  void dropChild() noexcept;
  // The first feed of a ready player, on the second it is due.
  void handOverHere() noexcept;
  // Passes as much of the file to a ready player as it takes now, without blocking.
  void feed() noexcept;
  void closeInput() noexcept;
  // Reaps the child if it has exited; true when no child is left.
  bool tryReap() noexcept;
  // Waits up to timeout for the child to exit and reaps it; true when no child is left.
  bool reapWithin(std::chrono::steady_clock::duration timeout) noexcept;
  void sendTerminate() noexcept;
  // Ends and reaps a child that is still there: SIGTERM, and SIGKILL if it is still there
  // two seconds after the SIGTERM.
  void finishChild() noexcept;

  // Reads what the child wrote on its standard error so far, keeping only the end.
  void drainErrors() noexcept;
  void closeErrorPipe() noexcept;
  // The failure of a child that ended with `status`, or "" when it ended well.
  std::string failureOf(int status) const;

  const std::string device_;
  const std::shared_ptr<ReadyPlayers> ready_;  // null: every file starts a fresh player
  bool firstFile_ = true;       // later files of a playback are not on a second's edge
  std::string prepared_;        // the file prepareAtOnce took a ready player for, if any
  std::string program_;         // the player of the latest file
  pid_t pid_ = -1;              // the child not yet reaped, -1 when none
  bool terminateSent_ = false;  // SIGTERM already sent to pid_
  std::chrono::steady_clock::time_point terminateSentAt_;
  int errorPipe_ = -1;        // read end of the child's standard error, -1 when none
  std::string errorTail_;     // the last bytes the child wrote there
  int file_ = -1;             // the file a ready player still gets, -1 when none
  int input_ = -1;            // the ready player's standard input, -1 when none
  std::vector<char> buffer_;  // buffer_[pendingFrom_, pendingTo_) is read, not yet passed on
  std::size_t pendingFrom_ = 0;
  std::size_t pendingTo_ = 0;
  bool sentAny_ = false;  // to the ready player since it was taken
};

}  // namespace veltrano
