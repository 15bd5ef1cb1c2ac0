#pragma once

#include <cstddef>

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// Events one import may add.
inline constexpr std::size_t MAX_IMPORTED_EVENTS = 1000;
inline constexpr std::size_t MAX_EVENT_NAME_CHARACTERS = 200;

// POST /db/calendar/preview-ics, multipart: the .ics file in "file", optional "from" and "to"
// (YYYY-MM-DD; from today for 18 months by default). Answers the occurrences in the range as
// [{"summary", "start", "end"}]; stores nothing. 400 with the reason for a file that is not
// iCalendar or holds no events in the range.
void calendar_preview_ics(HttpContext& context, Exchange& exchange);

// POST /db/calendar/import, JSON {"events": [{"name", "start", "end", "timeTableId"}]}: adds
// each as a single event, at the front in the order given, unless an event with the same
// name and days is already there. All are checked before any is added. Answers
// {"added": n, "skipped": m}.
void calendar_import(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
