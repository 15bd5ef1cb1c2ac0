#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/PlayerThread.hpp"
#include "audio/platform/AudioLength.hpp"
#include "audio/platform/FilePlayerFactory.hpp"
#include "domain/Clock.hpp"

namespace veltrano {

// Repeat count that plays a file again and again until it is stopped.
inline constexpr int INFINITE_REPEAT = -1;

// A file still playing this long after its length is taken for a hung player: it is ended and
// its playback fails with RAN_PAST_ITS_LENGTH. Every repetition of a file counts on its own.
inline constexpr std::chrono::seconds OVERRUN_GRACE{10};
inline constexpr std::string_view RAN_PAST_ITS_LENGTH = "ran past its length";

// What a playback needs to notice a file that plays on past its end; tests inject both.
struct OverrunWatch {
  // The file's length in whole seconds, negative when unknown (then it is never cut short).
  std::function<int(const std::string& path)> lengthOf = getAudioLength;
  std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
};

// Waits out the pause between two files. An abort does not cut it short; only the player's
// shutdown may.
using PauseFunction =
    std::function<void(std::chrono::duration<double> length, std::stop_token shutdown)>;

// The real pause: sleeps, returning early only when shutdown is requested.
void sleepUnlessShutdown(std::chrono::duration<double> length, std::stop_token shutdown);

// Starts playback threads and keeps the list of those still playing, so everything can be
// stopped at once and the dashboard can ask whether anything plays. Thread-safe.
class Player {
 public:
  Player(const Clock& clock, FilePlayerFactory factory, PauseFunction pause = sleepUnlessShutdown,
         OverrunWatch watch = {});
  // Aborts every playback thread, cuts their pauses short and joins them.
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Plays the files in order, with delay seconds between them (and, with infiniteRepeat,
  // round and round until aborted). Returns null, after logging the first missing path, when a
  // file does not exist; then nothing plays.
  std::shared_ptr<PlayerThread> playFiles(std::vector<std::string> paths, double delay = 0.0,
                                          bool infiniteRepeat = false, PlaybackReport report = {});
  // As playFiles, with the whole list played rounds times over.
  std::shared_ptr<PlayerThread> playFilesRepeated(std::vector<std::string> paths,
                                                  std::size_t rounds, double delay,
                                                  PlaybackReport report = {});
  // Aborts every listed thread and empties the list at once, without waiting for them.
  void stopAll();
  // True while any playback thread is listed, pauses included.
  bool isPlaying() const;

  // Plays one file count times (INFINITE_REPEAT: until stopped; 0 or less: nothing).
  std::shared_ptr<PlayerThread> playAudioFile(const std::string& path, int count = 1,
                                              double delay = 0.0, PlaybackReport report = {});
  std::shared_ptr<PlayerThread> playAudioQueue(std::vector<std::string> paths, double delay = 0.0,
                                               PlaybackReport report = {});
  void stopAllPlay();

  // While it lives, the playbacks its own thread starts get ready without sounding; release()
  // (or its end) sounds them all at once. A round decides a second's sounds just before the
  // second begins and releases them right on it. Playbacks other threads start are not held.
  class StartHold {
   public:
    ~StartHold() { release(); }
    StartHold(const StartHold&) = delete;
    StartHold& operator=(const StartHold&) = delete;
    // beforeLaunch runs once the sounds are handed over, before their threads start (and may
    // not throw): what it does then is done before their first log lines.
    void release(const std::function<void()>& beforeLaunch = {}) noexcept;

   private:
    friend class Player;
    explicit StartHold(Player* player) : player_(player) {}
    Player* player_;  // null once released, or when another hold was already in place
  };
  // One hold at a time; a second one (while the first lives) holds nothing.
  [[nodiscard]] StartHold holdStarts();

  // Set before any sound is due, when the file players have a warm-up.
  void warmUpWith(FilePlayerWarmUp warmUp) { warmUp_ = std::move(warmUp); }
  // Readies the output for the files due in the next second (see FilePlayerWarmUp); does
  // nothing without a warm-up.
  void warmUp(const std::vector<std::string>& paths) const;

 private:
  friend class PlayerThread;

  std::shared_ptr<PlayerThread> start(std::vector<std::string> paths, std::size_t rounds,
                                      double delay, bool infiniteRepeat, PlaybackReport report);
  // A thread's last act: takes it off the list if it is still listed. Caller must not hold
  // mutex_.
  void onThreadEnd(const PlayerThread& thread) noexcept;
  // Joins threads that have ended by themselves. Caller must not hold mutex_.
  void joinEnded();
  // Sounds and launches the held playbacks, and ends the hold. Caller must not hold mutex_.
  void releaseHeld(const std::function<void()>& beforeLaunch = {}) noexcept;

  const Clock& clock_;
  const FilePlayerFactory factory_;
  const PauseFunction pause_;
  const OverrunWatch watch_;
  FilePlayerWarmUp warmUp_;  // set before use, then only read

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<PlayerThread>> threads_;  // protected by mutex_: the playing ones
  std::vector<std::shared_ptr<PlayerThread>> started_;  // protected by mutex_: not yet joined
  std::thread::id holder_;                             // protected by mutex_: see StartHold
  std::vector<std::shared_ptr<PlayerThread>> held_;    // protected by mutex_: prepared, silent
};

}  // namespace veltrano
