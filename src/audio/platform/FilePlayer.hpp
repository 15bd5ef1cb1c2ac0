#pragma once

#include <string>

namespace veltrano {

// Plays one audio file at a time on the platform's sound output. A playback thread owns one
// instance and pairs every successful startPlay with exactly one closeFile.
class FilePlayer {
 public:
  virtual ~FilePlayer() = default;

  // Starts the file and returns as soon as it sounds; throws when it cannot be started.
  virtual void startPlay(const std::string& path) = 0;
  // Starts the file at once, on the caller's thread, when that costs next to nothing (a player
  // readied for it is waiting); true when it did, and startPlay is not called for this file.
  // Never throws: what cannot start at once is left to startPlay.
  virtual bool startAtOnce(const std::string& path) noexcept {
    (void)path;
    return false;
  }
  // Does ahead of time what startAtOnce of the same file would do before it sounds (opens the
  // file, takes the readied player), so that startAtOnce only hands the file over. Never throws.
  virtual void prepareAtOnce(const std::string& path) noexcept { (void)path; }
  // Polled 20 times a second while a file plays, so it must stay cheap and never block.
  virtual bool isPlaying() = 0;
  // Ends the file; wasAborted is true when the sound may still be running and must stop.
  virtual void closeFile(bool wasAborted) = 0;
};

}  // namespace veltrano
