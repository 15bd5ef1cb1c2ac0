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
  bool isActive() const;

 private:
  SongPlayback& songs_;
  mutable std::mutex mutex_;
  std::shared_ptr<PlayerThread> thread_;  // protected by mutex_; the running alarm
};

}  // namespace veltrano
