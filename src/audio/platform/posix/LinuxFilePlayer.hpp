#pragma once

#include <sys/types.h>

#include <string>

#include "audio/platform/FilePlayer.hpp"

namespace veltrano {

// Plays a file through a command-line player child process: "mpg123" for MP3, "aplay" for
// WAVE. Every child it starts is reaped, at the latest by the destructor. Used by one playback
// thread at a time, so it needs no lock.
class LinuxFilePlayer final : public FilePlayer {
 public:
  LinuxFilePlayer() = default;
  // Ends (politely, then by force) and reaps a child that is still there.
  ~LinuxFilePlayer() override;
  LinuxFilePlayer(const LinuxFilePlayer&) = delete;
  LinuxFilePlayer& operator=(const LinuxFilePlayer&) = delete;

  // Throws std::invalid_argument "Unsupported file format: <ext>" for anything but .mp3/.wav
  // and std::system_error when the player program cannot be started.
  void startPlay(const std::string& path) override;
  // Non-blocking status query; reaps the child once it has exited.
  bool isPlaying() override;
  // On abort sends the child one SIGTERM; otherwise the child has already ended by itself.
  void closeFile(bool wasAborted) override;

 private:
  // Reaps the child if it has exited; true when no child is left.
  bool tryReap() noexcept;
  // Waits up to timeoutMs for the child to exit and reaps it; true when no child is left.
  bool reapWithin(int timeoutMs) noexcept;
  // Ends and reaps a child that is still there, without waiting long.
  void finishChild() noexcept;

  pid_t pid_ = -1;              // the child not yet reaped, -1 when none
  bool terminateSent_ = false;  // SIGTERM already sent to pid_
};

}  // namespace veltrano
