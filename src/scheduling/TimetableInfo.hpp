#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "domain/Clock.hpp"
#include "domain/Programme.hpp"
#include "foundation/Json.hpp"
#include "scheduling/DayClassification.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// Why the active timetable is active. Exchanged as the member's name.
enum class TimetableSource { DISABLED, NORMAL, DAILY_OVERRIDE };

std::string_view toText(TimetableSource source) noexcept;

// Which timetable rings now, and why.
struct TimetableInfo {
  // Key in db.timetables; "NULL" when none is active.
  std::string id = "NULL";
  TimetableSource source = TimetableSource::NORMAL;
  std::string date;
  int dayOfWeek = 0;
  TypeOfDay typeOfDay = TypeOfDay::WORKDAY;
  // The next programme still to come today, e.g. "10:30 - ring".
  std::optional<std::string> programmeToday;

  bool operator==(const TimetableInfo&) const = default;

  // One member per field, in field order; enumerations as their texts, null when there is
  // no programme today.
  Json asJson() const;
};

// Shown for a programme whose song is no longer in the database, instead of failing: the
// dashboard's home page and the scheduler ask for this text every second.
inline constexpr std::string_view MISSING_SONG_NAME = "(missing song)";

// "<time> - <song name>", or nothing for no programme. Caller holds the store lock.
std::optional<std::string> programmeToInfoStr(const DB& db, const Programme* programme);

// The calendar's timetable for the day of now, unless ringing is switched off or a timetable
// was chosen by hand for today. Reads only the records and the clock value passed; the caller
// holds the store lock.
TimetableInfo getActiveTimetableInfo(const DB& db, const Cache& cache, const ClockValue& now);

}  // namespace veltrano
