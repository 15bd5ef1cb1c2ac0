#include "scheduling/MonthView.hpp"

#include <stdexcept>
#include <string>

#include "scheduling/DayClassification.hpp"

namespace veltrano {
namespace {

long long floorDiv(long long a, long long b) noexcept {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

std::vector<PaddedDate> generatePaddedCalendarDates(const ClockValue& now, long long offset) {
  // Counted in months from year 0, so that any offset is one step instead of a loop per year;
  // the same months as borrowing and carrying twelve at a time.
  constexpr long long MAX_OFFSET = 12LL * 10000;
  if (offset < -MAX_OFFSET || offset > MAX_OFFSET) {
    throw std::invalid_argument("Month offset " + std::to_string(offset) + " is out of range");
  }
  const long long monthIndex = static_cast<long long>(now.tm_year) * 12 + (now.tm_mon - 1) + offset;
  const long long year = floorDiv(monthIndex, 12);
  const int month = static_cast<int>(monthIndex - year * 12) + 1;
  if (year < 1 || year > 9999) {
    throw std::invalid_argument("year " + std::to_string(year) + " is out of range");
  }

  const Date first{static_cast<int>(year), month, 1};
  long long day = first.toDayNumber() - first.weekday();
  std::vector<PaddedDate> dates;
  dates.reserve(42);
  for (int i = 1;; ++i, ++day) {
    const Date date = Date::fromDayNumber(day);
    dates.push_back({date, date.m == month});
    const Date next = Date::fromDayNumber(day + 1);
    if (next.m != month && i > 7 && i % 7 == 0)
      break;
  }
  return dates;
}

Json getCalendarInfoForMonth(const DB& db, const Cache& cache, const ClockValue& now,
                             long long offset) {
  const std::string today = dateStringOf(now);
  const auto& selected = db.settings.dailyPreferences.selectedTimetableId;
  Json year;
  Json month;
  Json days = Json::array();
  for (const PaddedDate& cell : generatePaddedCalendarDates(now, offset)) {
    if (cell.isGivenMonth && year.is_null()) {
      year = cell.date.y;
      month = cell.date.m;
    }
    const std::string dateStr = cell.date.asString();
    const bool isToday = dateStr == today;
    DayTimetable day = getTimetableForClock(db.settings, cache, cell.date.weekday(), dateStr);
    if (isToday && selected)
      day.timetableId = *selected;

    Json entry = Json::object();
    entry["id"] = day.timetableId;
    entry["day"] = cell.date.d;
    entry["typeOfDay"] = toText(day.typeOfDay);
    entry["isToday"] = isToday;
    entry["isGivenMonth"] = cell.isGivenMonth;
    days.push_back(std::move(entry));
  }
  Json view = Json::object();
  view["year"] = std::move(year);
  view["month"] = std::move(month);
  view["defaultTimetableId"] = db.settings.defaultTimetableId;
  view["days"] = std::move(days);
  return view;
}

}  // namespace veltrano
