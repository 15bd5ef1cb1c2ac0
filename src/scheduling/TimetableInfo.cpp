#include "scheduling/TimetableInfo.hpp"

#include "domain/Date.hpp"
#include "domain/TimeOfDay.hpp"

namespace veltrano {

std::string_view toText(TimetableSource source) noexcept {
  switch (source) {
    case TimetableSource::DISABLED:
      return "DISABLED";
    case TimetableSource::NORMAL:
      return "NORMAL";
    case TimetableSource::DAILY_OVERRIDE:
      return "DAILY_OVERRIDE";
  }
  return "NORMAL";
}

Json TimetableInfo::asJson() const {
  Json out = Json::object();
  out["id"] = id;
  out["source"] = toText(source);
  out["date"] = date;
  out["dayOfWeek"] = dayOfWeek;
  out["typeOfDay"] = toText(typeOfDay);
  out["programmeToday"] = programmeToday ? Json(*programmeToday) : Json(nullptr);
  return out;
}

std::optional<std::string> programmeToInfoStr(const DB& db, const Programme* programme) {
  if (programme == nullptr)
    return std::nullopt;
  const AudioAsset* song = db.songs.find(programme->songId);
  return programme->time.asString() + " - " +
         (song != nullptr ? song->name : std::string(MISSING_SONG_NAME));
}

TimetableInfo getActiveTimetableInfo(const DB& db, const Cache& cache, const ClockValue& now) {
  const Settings& settings = db.settings;
  TimetableInfo info;
  info.date = dateStringOf(now);
  info.dayOfWeek = now.tm_wday;
  DayTimetable day = getTimetableForClock(settings, cache, info.dayOfWeek, info.date);
  info.typeOfDay = day.typeOfDay;

  if (!settings.schedulerEnable) {
    info.id = "NULL";
    info.source = TimetableSource::DISABLED;
    return info;
  }

  const Programme* next = nullptr;
  for (const auto& [key, programme] : db.programmes) {
    if (programme.date == now && programme.time > now &&
        (next == nullptr || next->time > programme.time)) {
      next = &programme;
    }
  }

  info.source = TimetableSource::NORMAL;
  info.id = std::move(day.timetableId);
  if (const auto& selected = settings.dailyPreferences.selectedTimetableId) {
    if (*selected != info.id)
      info.source = TimetableSource::DAILY_OVERRIDE;
    info.id = *selected;
  }
  info.programmeToday = programmeToInfoStr(db, next);
  return info;
}

}  // namespace veltrano
