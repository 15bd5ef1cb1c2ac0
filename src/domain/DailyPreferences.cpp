#include "domain/DailyPreferences.hpp"

namespace veltrano {

void DailyPreferences::resetOnNewDay(const Date& today) noexcept {
  const int day = static_cast<int>(today.toDayNumber());
  if (lastDay == day)
    return;
  selectedTimetableId.reset();
  lastDay = day;
}

}  // namespace veltrano
