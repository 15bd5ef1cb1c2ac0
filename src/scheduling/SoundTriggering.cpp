#include "scheduling/SoundTriggering.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "domain/LocalSecond.hpp"
#include "scheduling/DayClassification.hpp"
#include "scheduling/TimetableInfo.hpp"

namespace veltrano {
namespace {

// One sound failing must not keep the others of the second from ringing.
template <class Start>
void startIsolated(const Start& start, const char* what, const std::string& key) noexcept {
  try {
    start();
  } catch (const std::exception& e) {
    spdlog::error("Scheduler thread error: {} ({} {})", e.what(), what, key);
  } catch (...) {
    spdlog::error("Scheduler thread error: unknown failure ({} {})", what, key);
  }
}

bool songStillUsed(const DB& db, const std::string& songId) {
  for (const auto& [key, programme] : db.programmes) {
    if (programme.songId == songId)
      return true;
  }
  return false;
}

bool fileStillUsed(const DB& db, const std::string& filename) {
  for (const auto& [key, song] : db.songs) {
    if (song.filename == filename && song.storageCategory != AudioAssetCategory::BUILT_IN_SIGNAL)
      return true;
  }
  return false;
}

constexpr long long SECONDS_PER_DAY = 86400;

long long secondOfDay(const TimeOfDay& time) {
  return time.h * 3600LL + time.m * 60LL + time.s;
}

long long dayOf(long long localSecond) {
  return localSecond / SECONDS_PER_DAY - (localSecond % SECONDS_PER_DAY < 0 ? 1 : 0);
}

// Calls visit(time, source, desc, key) for every sound channel A of the timetable rings in a
// day, in the order they start when due in the same second.
template <class Visit>
void forEachTimetableSound(const TimeTable& timetable, const Visit& visit) {
  const SignalTable& ch = timetable.chAt(0);
  for (const Lesson& lesson : ch.lessons) {
    const std::string key = lesson.asString();
    visit(lesson.start, SoundSource::LESSON_START, ch.startOfClass, key);
    visit(lesson.end, SoundSource::LESSON_END, ch.endOfClass, key);
    visit(lesson.start.minusMinutes(ch.preStartWaitMin), SoundSource::PRE_START, ch.preStart, key);
    visit(lesson.end.minusMinutes(ch.preEndWaitMin), SoundSource::PRE_END, ch.preEnd, key);
  }
  for (const UserPlay& custom : timetable.customPlays) {
    for (const TimeOfDay& slot : custom.slots)
      visit(slot, SoundSource::CUSTOM_PLAY, custom.desc, slot.asString());
  }
}

void playProgrammes(DB& db, const ClockValue& now, SongPlayback& playback,
                    std::vector<PlayedFile>& played, bool& anyDue) {
  std::vector<std::pair<std::string, std::shared_ptr<PlayerThread>>> toRemove;
  for (const auto& [key, programme] : db.programmes) {
    if (!(programme.date == now && programme.time == now))
      continue;
    anyDue = true;
    std::shared_ptr<PlayerThread> started;
    const SoundCause cause{SoundSource::PROGRAMME, "", now};
    // Named outside the lambda: clang 14 cannot capture a structured binding.
    const std::string& songId = programme.songId;
    startIsolated(
        [&] {
          if (songId == "NULL")
            playback.recordSkipped(db, songId, cause, SKIPPED_NO_SIGNAL);
          else
            started = playback.playSongById(db, songId, 1, 0.0, cause);
        },
        "programme", key);
    // Due only in this second: even when its start failed it can never be due again.
    if (programme.deleteAfterPlay)
      toRemove.emplace_back(key, std::move(started));
  }
  for (auto& [key, started] : toRemove) {
    const Programme removed = db.programmes.remove(key);
    const AudioAsset* song = db.songs.find(removed.songId);
    if (song == nullptr || songStillUsed(db, removed.songId))
      continue;
    const AudioAsset dropped = db.songs.remove(removed.songId);
    // Its file goes too, once it has been heard.
    if (dropped.storageCategory != AudioAssetCategory::BUILT_IN_SIGNAL &&
        !dropped.filename.empty() && !fileStillUsed(db, dropped.filename)) {
      played.push_back(PlayedFile{std::move(started), playback.getSongAssetPath(dropped)});
    }
  }
}

// While the bells are off nothing plays and nothing goes: the programmes stay as they are.
void skipProgrammes(const DB& db, const ClockValue& now, SongPlayback& playback, bool& anyDue) {
  for (const auto& [key, programme] : db.programmes) {
    if (!(programme.date == now && programme.time == now))
      continue;
    anyDue = true;
    const SoundCause cause{SoundSource::PROGRAMME, "", now};
    const std::string& songId = programme.songId;
    startIsolated([&] { playback.recordSkipped(db, songId, cause, SKIPPED_BELLS_OFF); },
                  "programme", key);
  }
}

void playTimetableSounds(const DB& db, const TimeTable& timetable, const std::string& timetableId,
                         const ClockValue& now, bool bellsOn, SongPlayback& playback,
                         bool& anyDue) {
  const TimeOfDay time = TimeOfDay::fromTimeStruct(now);
  forEachTimetableSound(timetable, [&](const TimeOfDay& at, SoundSource source,
                                       const PlayDesc& desc, const std::string& key) {
    if (at != time)
      return;
    anyDue = true;
    const SoundCause cause{source, timetableId, now};
    const char* what = source == SoundSource::CUSTOM_PLAY ? "custom play at" : "lesson";
    startIsolated(
        [&] {
          if (!bellsOn)
            playback.recordSkipped(db, desc.id, cause, SKIPPED_BELLS_OFF);
          else if (desc.id == "NULL")
            playback.recordSkipped(db, desc.id, cause, SKIPPED_NO_SIGNAL);
          else
            playback.playSongByDescriptor(db, desc, cause);
        },
        what, key);
  });
}

}  // namespace

std::string scheduledTimetableId(const DB& db, const Cache& cache, const ClockValue& day) {
  const DailyPreferences& chosen = db.settings.dailyPreferences;
  if (chosen.selectedTimetableId && chosen.lastDay == Date::fromTimeStruct(day).toDayNumber())
    return *chosen.selectedTimetableId;
  return getTimetableForClock(db.settings, cache, day.tm_wday, dateStringOf(day)).timetableId;
}

std::vector<PlayedFile> triggerScheduledSounds(DB& db, const Cache& cache, const ClockValue& now,
                                               SongPlayback& playback, TriggerMemory* memory) {
  std::vector<PlayedFile> played;
  const bool bellsOn = db.settings.schedulerEnable;
  const std::string timetableId = scheduledTimetableId(db, cache, now);
  bool anyDue = false;

  if (bellsOn)
    playProgrammes(db, now, playback, played, anyDue);
  else
    skipProgrammes(db, now, playback, anyDue);

  // Looked up only now: a pointer into the database must not outlive the removals above.
  const TimeTable* timetable = db.timetables.find(timetableId);
  if (timetable != nullptr) {
    playTimetableSounds(db, *timetable, timetableId, now, bellsOn, playback, anyDue);
  } else if (timetableId != "NULL" && bellsOn && memory != nullptr) {
    // Its bells are unknown: the day is logged once, in the first second it counts.
    const long long today = Date::fromTimeStruct(now).toDayNumber();
    if (memory->missingTimetableLoggedDay != today) {
      memory->missingTimetableLoggedDay = today;
      anyDue = true;
      const SoundCause cause{SoundSource::TIMETABLE, timetableId, now};
      startIsolated([&] { playback.recordSkipped(db, "NULL", cause, SKIPPED_TIMETABLE_MISSING); },
                    "timetable", timetableId);
    }
  }
  if (memory != nullptr && anyDue)
    memory->anyDue = true;
  return played;
}

std::vector<std::string> songsDueAt(const DB& db, const Cache& cache, const ClockValue& at) {
  std::vector<std::string> due;
  if (!db.settings.schedulerEnable)
    return due;
  for (const auto& [key, programme] : db.programmes) {
    if (programme.date == at && programme.time == at && programme.songId != "NULL")
      due.push_back(programme.songId);
  }
  const TimeTable* timetable = db.timetables.find(scheduledTimetableId(db, cache, at));
  if (timetable == nullptr)
    return due;
  const TimeOfDay time = TimeOfDay::fromTimeStruct(at);
  forEachTimetableSound(*timetable, [&](const TimeOfDay& start, SoundSource, const PlayDesc& desc,
                                        const std::string&) {
    if (start == time && desc.id != "NULL")
      due.push_back(desc.id);
  });
  return due;
}

std::size_t logMissedSounds(const DB& db, const Cache& cache, long long first, long long last,
                            SongPlayback& playback) {
  struct Missed {
    long long second;
    SoundSource source;
    std::string timetableId;
    std::string signalId;
  };
  std::vector<Missed> missed;
  for (const auto& [key, programme] : db.programmes) {
    const long long second =
        programme.date.toDayNumber() * SECONDS_PER_DAY + secondOfDay(programme.time);
    if (second >= first && second <= last)
      missed.push_back({second, SoundSource::PROGRAMME, "", programme.songId});
  }
  for (long long day = dayOf(first); first <= last && day <= dayOf(last); ++day) {
    const std::string timetableId =
        scheduledTimetableId(db, cache, clockValueAtLocalSecond(day * SECONDS_PER_DAY));
    const TimeTable* timetable = db.timetables.find(timetableId);
    if (timetable == nullptr)
      continue;
    forEachTimetableSound(*timetable, [&](const TimeOfDay& at, SoundSource source,
                                          const PlayDesc& desc, const std::string&) {
      const long long second = day * SECONDS_PER_DAY + secondOfDay(at);
      if (second >= first && second <= last)
        missed.push_back({second, source, timetableId, desc.id});
    });
  }
  std::stable_sort(missed.begin(), missed.end(),
                   [](const Missed& a, const Missed& b) { return a.second < b.second; });
  const bool bellsOn = db.settings.schedulerEnable;
  for (const Missed& sound : missed) {
    const std::string_view reason = !bellsOn                   ? SKIPPED_BELLS_OFF
                                    : sound.signalId == "NULL" ? SKIPPED_NO_SIGNAL
                                                               : SKIPPED_NOT_RUNNING;
    const SoundCause cause{sound.source, sound.timetableId, clockValueAtLocalSecond(sound.second)};
    playback.recordSkipped(db, sound.signalId, cause, reason);
  }
  return missed.size();
}

bool removeIfPlayed(const PlayedFile& file) noexcept {
  if (file.playback && file.playback->isAlive())
    return false;
  std::error_code error;
  std::filesystem::remove(file.path, error);
  if (error)
    spdlog::warn("Failed to remove the played file " + file.path + ": " + error.message());
  return true;
}

}  // namespace veltrano
