#pragma once

#include <string_view>
#include <vector>

#include "domain/CalendarFile.hpp"

namespace veltrano {

// What readCalendarFile answers, worked out in this process with the calendar library. Only
// the reader program calls it, under its limits: the library's recurrence expansion and
// parser have no bound of their own.
std::vector<CalendarFileEvent> parseCalendarFile(std::string_view text, const Date& from,
                                                 const Date& to);

// Loads the library's built-in zones that the file's TZID parameters name, so that parsing
// needs no file afterwards and may run with no descriptor left to open.
void loadZonesNamedIn(std::string_view text);

}  // namespace veltrano
