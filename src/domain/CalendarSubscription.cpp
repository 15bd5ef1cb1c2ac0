#include "domain/CalendarSubscription.hpp"

#include <algorithm>
#include <iterator>

namespace veltrano {

std::vector<SingleCalendarEvent> feedEvents(const CalendarSubscription& subscription,
                                            const std::vector<CalendarFileEvent>& occurrences) {
  std::vector<SingleCalendarEvent> events;
  events.reserve(occurrences.size());
  for (const auto& occurrence : occurrences) {
    events.push_back(SingleCalendarEvent{subscription.timeTableId, occurrence.start, occurrence.end,
                                         occurrence.summary, subscription.url});
  }
  return events;
}

bool replaceFeedEvents(std::vector<SingleCalendarEvent>& events, const std::string& feed,
                       std::vector<SingleCalendarEvent> fresh) {
  std::vector<SingleCalendarEvent> old;
  std::copy_if(events.begin(), events.end(), std::back_inserter(old),
               [&](const SingleCalendarEvent& event) { return event.feed == feed; });
  if (old == fresh)
    return false;
  std::erase_if(events, [&](const SingleCalendarEvent& event) { return event.feed == feed; });
  events.insert(events.end(), std::make_move_iterator(fresh.begin()),
                std::make_move_iterator(fresh.end()));
  return true;
}

std::size_t countFeedEvents(const std::vector<SingleCalendarEvent>& events,
                            const std::string& feed) noexcept {
  return static_cast<std::size_t>(std::count_if(
      events.begin(), events.end(), [&](const SingleCalendarEvent& e) { return e.feed == feed; }));
}

}  // namespace veltrano
