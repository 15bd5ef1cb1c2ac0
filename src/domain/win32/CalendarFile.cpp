#include "domain/CalendarFile.hpp"

#include <stdexcept>

namespace veltrano {

// The iCalendar library is not part of the Windows build.
std::vector<CalendarFileEvent> readCalendarFile(std::string_view, const Date&, const Date&) {
  throw std::runtime_error("Calendar files cannot be read on this system");
}

}  // namespace veltrano
