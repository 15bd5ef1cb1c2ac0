#include <exception>

#include "FuzzInput.hpp"
#include "calendarreader/CalendarFileParser.hpp"
#include "foundation/Utf8.hpp"

// An uploaded iCalendar file read for one school year: what it gives is bounded, inside the
// range and fit for a JSON answer, or it is refused with a text for the user.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  static const Date FROM{2026, 9, 1};
  static const Date TO{2027, 8, 31};
  std::vector<CalendarFileEvent> events;
  try {
    events = parseCalendarFile(fuzz::asText(data, size), FROM, TO);
  } catch (const std::invalid_argument&) {
    return 0;
  }
  fuzz::require(events.size() <= MAX_CALENDAR_FILE_OCCURRENCES, "more events than the bound");
  for (const auto& event : events) {
    fuzz::require(isValidUtf8(event.summary), "a summary that is not UTF-8");
    fuzz::require(event.start.toDayNumber() <= event.end.toDayNumber(), "an event ends first");
    fuzz::require(event.end.toDayNumber() >= FROM.toDayNumber() &&
                      event.start.toDayNumber() <= TO.toDayNumber(),
                  "an event outside the range");
  }
  return 0;
}
