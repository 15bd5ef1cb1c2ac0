#pragma once

#include "audio/SongPlayback.hpp"
#include "domain/Clock.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// Starts every sound due in the second of now, in this order: the programmes of the day and
// second (then drops those marked deleteAfterPlay, and their songs), the lesson signals of
// channel A of the active timetable (per lesson: start, end, warning before the start,
// warning before the end) and its custom plays. Nothing plays while ringing is switched off.
//
// A sound that cannot be started (a song that is gone, a failing player) is logged as
// "Scheduler thread error: ..." and the remaining sounds of the second still start. A
// programme song is dropped only when no remaining programme uses it. Only starts playback
// threads, never waits for sound; the caller holds the store lock.
void triggerScheduledSounds(DB& db, const Cache& cache, const ClockValue& now,
                            SongPlayback& playback);

}  // namespace veltrano
