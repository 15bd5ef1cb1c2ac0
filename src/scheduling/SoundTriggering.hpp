#pragma once

#include <memory>
#include <string>
#include <string_view>
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

// Why a due sound was not started, as the sound log says it.
inline constexpr std::string_view SKIPPED_BELLS_OFF = "bells switched off";
inline constexpr std::string_view SKIPPED_NO_SIGNAL = "no signal set";
inline constexpr std::string_view SKIPPED_TIMETABLE_MISSING = "timetable missing";
inline constexpr std::string_view SKIPPED_NOT_RUNNING = "missed while the player was not running";

// What the triggering of one second keeps for the next; owned by the scheduler's rounds.
struct TriggerMemory {
  // The day (Date::toDayNumber) a missing timetable was last logged: once a day is enough.
  long long missingTimetableLoggedDay = -1;
  // Set when a second had a sound due, started or not.
  bool anyDue = false;
};

// The timetable whose bells ring on the day of `day` while the bells are on: the one chosen by
// hand for that day, else the calendar's; "NULL" for none. Caller holds the store lock.
std::string scheduledTimetableId(const DB& db, const Cache& cache, const ClockValue& day);

// Starts every sound due in the second of now, in this order: the programmes of the day and
// second (then drops those marked deleteAfterPlay, and their songs), the lesson signals of
// channel A of the active timetable (per lesson: start, end, warning before the start,
// warning before the end) and its custom plays.
//
// Every due sound that is not started is logged as skipped with the reason: all of them while
// ringing is switched off, those whose signal is "NULL", and (once a day) a timetable that is
// gone. A sound that cannot be started (a song that is gone, a failing player) is logged as
// "Scheduler thread error: ..." and the remaining sounds of the second still start. A
// programme song is dropped only when no remaining programme uses it. Only starts playback
// threads, never waits for sound; the caller holds the store lock.
// Answers the files of the dropped songs, to delete once they have been heard.
std::vector<PlayedFile> triggerScheduledSounds(DB& db, const Cache& cache, const ClockValue& now,
                                               SongPlayback& playback,
                                               TriggerMemory* memory = nullptr);

// The songs and signals triggerScheduledSounds would start in the second of `at` if nothing
// changes before it, in its order: what to ready the players for. Caller holds the store lock.
std::vector<std::string> songsDueAt(const DB& db, const Cache& cache, const ClockValue& at);

// Logs as skipped (SKIPPED_NOT_RUNNING, or the reason it would not have rung anyway) every
// timetable bell and programme due in the local seconds first to last (see localSecondOf):
// seconds no round processed because the program was not running. Changes no record; the
// caller holds the store lock and bounds the range. Answers how many were logged.
std::size_t logMissedSounds(const DB& db, const Cache& cache, long long first, long long last,
                            SongPlayback& playback);

// Deletes the file once its playback has ended (or when none started); true when it is done
// with, false while it still plays.
bool removeIfPlayed(const PlayedFile& file) noexcept;

}  // namespace veltrano
