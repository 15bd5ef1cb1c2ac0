#include "storage/SignalReferences.hpp"

namespace veltrano {
namespace {

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

}  // namespace veltrano
