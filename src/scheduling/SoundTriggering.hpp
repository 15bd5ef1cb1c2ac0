#pragma once

#include <memory>
#include <string>
#include <vector>

#include "audio/SongPlayback.hpp"
#include "domain/Clock.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// The file of a one-off play whose song is gone from the database.
struct PlayedFile {
  std::shared_ptr<PlayerThread> playback;  // null when its start failed
  std::string path;
};

// Starts every sound due in the second of now, in this order: the programmes of the day and
// second (then drops those marked deleteAfterPlay, and their songs), the lesson signals of
// channel A of the active timetable (per lesson: start, end, warning before the start,
// warning before the end) and its custom plays. Nothing plays while ringing is switched off.
//
// A sound that cannot be started (a song that is gone, a failing player) is logged as
// "Scheduler thread error: ..." and the remaining sounds of the second still start. A
// programme song is dropped only when no remaining programme uses it. Only starts playback
// threads, never waits for sound; the caller holds the store lock.
// Answers the files of the dropped songs, to delete once they have been heard.
std::vector<PlayedFile> triggerScheduledSounds(DB& db, const Cache& cache, const ClockValue& now,
                                               SongPlayback& playback);

// Deletes the file once its playback has ended (or when none started); true when it is done
// with, false while it still plays.
bool removeIfPlayed(const PlayedFile& file) noexcept;

}  // namespace veltrano
