#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "domain/Date.hpp"

namespace veltrano {

// One occurrence of an event of an iCalendar (.ics) file, as whole days.
struct CalendarFileEvent {
  std::string summary;
  Date start;  // first day
  Date end;    // last day, inclusive

  bool operator==(const CalendarFileEvent&) const = default;
};

inline constexpr std::size_t MAX_CALENDAR_FILE_BYTES = 1024 * 1024;
// Occurrences in one answer; a longer range or a denser file is refused, not cut short.
inline constexpr std::size_t MAX_CALENDAR_FILE_OCCURRENCES = 1000;

// Every occurrence of the file's events that touches a day from `from` to `to` (inclusive),
// sorted by first day, then summary. Recurrences (RRULE, RDATE, EXDATE, moved instances) are
// expanded; timed events cover the days of the computer's local time, with their time zones
// as the file declares them; an event that ends at midnight ends the day before. Cancelled
// events are left out. The file is read by the reader program under CPU, memory and time
// limits. Throws std::invalid_argument, with a text for the user, for a file that is not
// iCalendar, too large, with too many occurrences, or too complex to read within the limits;
// std::runtime_error where this build or installation cannot read calendar files.
std::vector<CalendarFileEvent> readCalendarFile(std::string_view text, const Date& from,
                                                const Date& to);

}  // namespace veltrano
