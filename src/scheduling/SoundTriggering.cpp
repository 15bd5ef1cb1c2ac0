#include "scheduling/SoundTriggering.hpp"

#include <spdlog/spdlog.h>

#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
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

bool fileStillUsed(const DB& db, const std::string& filename) {
  for (const auto& [key, song] : db.songs) {
    if (song.filename == filename && song.storageCategory != AudioAssetCategory::BUILT_IN_SIGNAL)
      return true;
  }
  return false;
}

void playProgrammes(DB& db, const ClockValue& now, SongPlayback& playback,
                    std::vector<PlayedFile>& played) {
  std::vector<std::pair<std::string, std::shared_ptr<PlayerThread>>> toRemove;
  for (const auto& [key, programme] : db.programmes) {
    if (!(programme.date == now && programme.time == now))
      continue;
    std::shared_ptr<PlayerThread> started;
    const SoundCause cause{SoundSource::PROGRAMME, "", now};
    // Named outside the lambda: clang 14 cannot capture a structured binding.
    const std::string& songId = programme.songId;
    startIsolated([&] { started = playback.playSongById(db, songId, 1, 0.0, cause); },
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

void playLessonSignals(const DB& db, const TimeTable& timetable, const std::string& timetableId,
                       const ClockValue& now, SongPlayback& playback) {
  const SignalTable& ch = timetable.chAt(0);
  const TimeOfDay time = TimeOfDay::fromTimeStruct(now);
  auto play = [&](const PlayDesc& desc, SoundSource source, const Lesson& lesson) {
    const SoundCause cause{source, timetableId, now};
    startIsolated([&] { playback.playSongByDescriptor(db, desc, cause); }, "lesson",
                  lesson.asString());
  };
  for (const Lesson& lesson : ch.lessons) {
    if (time == lesson.start)
      play(ch.startOfClass, SoundSource::LESSON_START, lesson);
    if (time == lesson.end)
      play(ch.endOfClass, SoundSource::LESSON_END, lesson);
    if (time == lesson.start.minusMinutes(ch.preStartWaitMin))
      play(ch.preStart, SoundSource::PRE_START, lesson);
    if (time == lesson.end.minusMinutes(ch.preEndWaitMin))
      play(ch.preEnd, SoundSource::PRE_END, lesson);
  }
}

void playCustomPlays(const DB& db, const TimeTable& timetable, const std::string& timetableId,
                     const ClockValue& now, SongPlayback& playback) {
  const TimeOfDay time = TimeOfDay::fromTimeStruct(now);
  const SoundCause cause{SoundSource::CUSTOM_PLAY, timetableId, now};
  for (const UserPlay& custom : timetable.customPlays) {
    for (const TimeOfDay& slot : custom.slots) {
      if (time != slot)
        continue;
      startIsolated([&] { playback.playSongByDescriptor(db, custom.desc, cause); },
                    "custom play at", slot.asString());
    }
  }
}

}  // namespace

std::vector<PlayedFile> triggerScheduledSounds(DB& db, const Cache& cache, const ClockValue& now,
                                               SongPlayback& playback) {
  std::vector<PlayedFile> played;
  const std::string timetableId = getActiveTimetableInfo(db, cache, now).id;
  if (!db.settings.schedulerEnable)
    return played;

  playProgrammes(db, now, playback, played);

  // Looked up only now: a pointer into the database must not outlive the removals above.
  const TimeTable* timetable = db.timetables.find(timetableId);
  if (timetable == nullptr)
    return played;
  playLessonSignals(db, *timetable, timetableId, now, playback);
  playCustomPlays(db, *timetable, timetableId, now, playback);
  return played;
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
