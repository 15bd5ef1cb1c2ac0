#pragma once

#include <cstddef>
#include <string>
#include <tuple>
#include <vector>

#include "domain/Calendar.hpp"
#include "domain/CalendarFile.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

inline constexpr std::size_t MAX_CALENDAR_SUBSCRIPTIONS = 20;
inline constexpr std::size_t MAX_SUBSCRIPTION_NAME_CHARACTERS = 200;

// A subscribed iCalendar URL (a district's holidays, say). Its events are kept as single
// events marked with the URL, and replaced as a whole whenever the calendar changes.
struct CalendarSubscription {
  std::string url;
  // What the calendar's days ring: a timetable's key, or "NULL" for no bells.
  std::string timeTableId = "NULL";
  std::string name;
  // Local date-times ("2026-12-09T07:00:03") of the last refresh and the last one that
  // worked; empty until there was one.
  std::string lastAttempt;
  std::string lastSuccess;
  // Why the last refresh failed; empty after one that worked.
  std::string lastError;

  static constexpr auto fields() {
    return std::tuple{field("url", &CalendarSubscription::url),
                      field("timeTableId", &CalendarSubscription::timeTableId),
                      field("name", &CalendarSubscription::name),
                      field("lastAttempt", &CalendarSubscription::lastAttempt),
                      field("lastSuccess", &CalendarSubscription::lastSuccess),
                      field("lastError", &CalendarSubscription::lastError)};
  }
};

// The subscription's events as single events: named after each occurrence, ringing the
// subscription's timetable, marked with its URL.
std::vector<SingleCalendarEvent> feedEvents(const CalendarSubscription& subscription,
                                            const std::vector<CalendarFileEvent>& occurrences);

// Puts `fresh` in place of the events marked with `feed`, after the user's own events, so
// that an event the user made for the same days wins. Returns false, and leaves events as
// they were, when the feed's events are the same already.
bool replaceFeedEvents(std::vector<SingleCalendarEvent>& events, const std::string& feed,
                       std::vector<SingleCalendarEvent> fresh);

// How many of events came from feed.
std::size_t countFeedEvents(const std::vector<SingleCalendarEvent>& events,
                            const std::string& feed) noexcept;

}  // namespace veltrano
