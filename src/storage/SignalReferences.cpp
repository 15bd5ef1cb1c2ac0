#include "storage/SignalReferences.hpp"

#include <stdexcept>

#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

std::string quoted(const std::string& id) {
  return "\"" + (isValidUtf8(id) ? truncateUtf8(id, 80) : std::string("?")) + "\"";
}

int replace(PlayDesc& desc, const std::string& id, const std::string& replacement) {
  if (desc.id != id)
    return 0;
  desc.id = replacement;
  return 1;
}

}  // namespace

int releaseSongReferences(DB& db, const std::string& id) {
  return replaceSongReferences(db, id, "NULL");
}

int replaceSongReferences(DB& db, const std::string& id, const std::string& replacement) {
  if (id == "NULL" || id == replacement)
    return 0;
  const std::string& to = replacement;
  int changed = 0;
  for (auto& [key, timetable] : db.timetables) {
    for (SignalTable* channel : {&timetable.chA, &timetable.chB}) {
      changed += replace(channel->startOfClass, id, to) + replace(channel->endOfClass, id, to) +
                 replace(channel->preStart, id, to) + replace(channel->preEnd, id, to);
    }
    for (UserPlay& play : timetable.customPlays)
      changed += replace(play.desc, id, to);
  }
  for (auto& [key, programme] : db.programmes) {
    if (programme.songId == id) {
      programme.songId = to;
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
