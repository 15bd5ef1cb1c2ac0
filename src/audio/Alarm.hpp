#pragma once

#include "audio/SongPlayback.hpp"

#include <memory>
#include <mutex>

namespace veltrano {

// The emergency alarm: one toggle starts the alarm signal repeating without end (with the
// configured pause), the next stops it.
class Alarm {
 public:
  explicit Alarm(SongPlayback& songs) : songs_(songs) {}

  // Caller holds the store lock (db is read for the alarm signal and its pause).
  void toggle(const DB& db);
  // Brings the alarm into the wanted state and answers the state reached; a second press of
  // the same kind does nothing, so two screens pressing at once cannot undo each other. An
  // alarm whose sound was stopped from elsewhere starts again. Throws std::runtime_error when
  // the alarm signal cannot sound. Caller holds the store lock.
  bool setActive(const DB& db, bool active);
  bool isActive() const;

 private:
  SongPlayback& songs_;
  mutable std::mutex mutex_;
  std::shared_ptr<PlayerThread> thread_;  // protected by mutex_; the running alarm
};

}  // namespace veltrano
