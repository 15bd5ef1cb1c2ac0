#include "scheduling/SoundTriggering.hpp"

#include <spdlog/spdlog.h>

#include <exception>
#include <string>
#include <vector>

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

void playProgrammes(DB& db, const ClockValue& now, SongPlayback& playback) {
  std::vector<std::string> keysToRemove;
  for (const auto& [key, programme] : db.programmes) {
    if (!(programme.date == now && programme.time == now))
      continue;
    startIsolated([&] { playback.playSongById(db, programme.songId); }, "programme", key);
    // Due only in this second: even when its start failed it can never be due again.
    if (programme.deleteAfterPlay)
      keysToRemove.push_back(key);
  }
  for (const std::string& key : keysToRemove) {
    const Programme removed = db.programmes.remove(key);
    if (db.songs.contains(removed.songId) && !songStillUsed(db, removed.songId)) {
      db.songs.remove(removed.songId);
    }
  }
}

void playLessonSignals(const DB& db, const TimeTable& timetable, const ClockValue& now,
                       SongPlayback& playback) {
  const SignalTable& ch = timetable.chAt(0);
  const TimeOfDay time = TimeOfDay::fromTimeStruct(now);
  auto play = [&](const PlayDesc& desc, const Lesson& lesson) {
    startIsolated([&] { playback.playSongByDescriptor(db, desc); }, "lesson", lesson.asString());
  };
  for (const Lesson& lesson : ch.lessons) {
    if (time == lesson.start)
      play(ch.startOfClass, lesson);
    if (time == lesson.end)
      play(ch.endOfClass, lesson);
    if (time == lesson.start.minusMinutes(ch.preStartWaitMin))
      play(ch.preStart, lesson);
    if (time == lesson.end.minusMinutes(ch.preEndWaitMin))
      play(ch.preEnd, lesson);
  }
}

void playCustomPlays(const DB& db, const TimeTable& timetable, const ClockValue& now,
                     SongPlayback& playback) {
  const TimeOfDay time = TimeOfDay::fromTimeStruct(now);
  for (const UserPlay& custom : timetable.customPlays) {
    for (const TimeOfDay& slot : custom.slots) {
      if (time != slot)
        continue;
      startIsolated([&] { playback.playSongByDescriptor(db, custom.desc); }, "custom play at",
                    slot.asString());
    }
  }
}

}  // namespace

void triggerScheduledSounds(DB& db, const Cache& cache, const ClockValue& now,
                            SongPlayback& playback) {
  const std::string timetableId = getActiveTimetableInfo(db, cache, now).id;
  if (!db.settings.schedulerEnable)
    return;

  playProgrammes(db, now, playback);

  // Looked up only now: a pointer into the database must not outlive the removals above.
  const TimeTable* timetable = db.timetables.find(timetableId);
  if (timetable == nullptr)
    return;
  playLessonSignals(db, *timetable, now, playback);
  playCustomPlays(db, *timetable, now, playback);
}

}  // namespace veltrano
