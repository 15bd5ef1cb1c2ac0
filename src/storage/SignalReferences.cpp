#include "storage/SignalReferences.hpp"

#include <stdexcept>

#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

std::string quoted(const std::string& id) {
  return "\"" + (isValidUtf8(id) ? truncateUtf8(id, 80) : std::string("?")) + "\"";
}

int release(PlayDesc& desc, const std::string& id) {
  if (desc.id != id)
    return 0;
  desc.id = "NULL";
  return 1;
}

}  // namespace

int releaseSongReferences(DB& db, const std::string& id) {
  if (id == "NULL")
    return 0;
  int changed = 0;
  for (auto& [key, timetable] : db.timetables) {
    for (SignalTable* channel : {&timetable.chA, &timetable.chB}) {
      changed += release(channel->startOfClass, id) + release(channel->endOfClass, id) +
                 release(channel->preStart, id) + release(channel->preEnd, id);
    }
    for (UserPlay& play : timetable.customPlays)
      changed += release(play.desc, id);
  }
  for (auto& [key, programme] : db.programmes) {
    if (programme.songId == id) {
      programme.songId = "NULL";
      ++changed;
    }
  }
  return changed;
}

void checkSettingsSignals(const DB& db) {
  const Settings& settings = db.settings;
  if (!db.songs.contains(settings.alarmSignalId)) {
    throw std::invalid_argument("The alarm signal " + quoted(settings.alarmSignalId) +
                                " is not among the signals: the alarm must always have a sound");
  }
  if (settings.announcementSignalId != "NULL" &&
      !db.songs.contains(settings.announcementSignalId)) {
    throw std::invalid_argument("The announcement lead-in signal " +
                                quoted(settings.announcementSignalId) +
                                " is not among the signals");
  }
}

}  // namespace veltrano
