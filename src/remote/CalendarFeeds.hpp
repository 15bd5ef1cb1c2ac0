#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "domain/CalendarFile.hpp"
#include "domain/Clock.hpp"
#include "remote/FeedFetcher.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// Days of a calendar kept, around today: the recent past for the month view, the months ahead
// for the bells.
inline constexpr int FEED_DAYS_BEFORE = 60;
inline constexpr int FEED_MONTHS_AHEAD = 18;
// A refresh that failed is tried again this long after, not only the next day.
inline constexpr std::chrono::minutes FEED_RETRY_INTERVAL{60};

// Keeps the events of the subscribed calendars current: refreshes them at start, once a day
// and when asked. A calendar that cannot be fetched or read keeps its events; why is kept in
// its subscription. The fetches and the reader run without the store lock, which is taken only
// to read the subscriptions and to store each outcome.
class CalendarFeeds {
 public:
  // Reads a calendar's occurrences from `from` to `to`: readCalendarFile, or a test's own.
  using Reader = std::function<std::vector<CalendarFileEvent>(std::string_view text,
                                                              const Date& from, const Date& to)>;

  CalendarFeeds(Stores& stores, const Clock& clock, FeedLimits limits = {},
                Reader reader = readCalendarFile,
                std::chrono::milliseconds checkInterval = std::chrono::minutes(1));
  ~CalendarFeeds();
  CalendarFeeds(const CalendarFeeds&) = delete;
  CalendarFeeds& operator=(const CalendarFeeds&) = delete;

  // Refreshes every subscription, one after the other; a refresh already running is waited
  // for. Caller must not hold the store lock.
  void refreshAll();

  // Starts the daily refresh on a thread of its own (the first one at once); call once the
  // stores are loaded. Does nothing when already started.
  void start();
  // Ends fetches under way and the thread's waits; any thread, returns at once.
  void cancel() noexcept;
  // Cancels and joins the thread.
  void stop() noexcept;

 private:
  // Fetches one calendar and stores the outcome; false when it failed. Caller must not hold
  // the store lock.
  bool refreshOne(const std::string& url, const Date& from, const Date& to);
  bool isDue() const;

  Stores& stores_;
  const Clock& clock_;
  FeedFetcher fetcher_;
  const Reader reader_;
  const std::chrono::milliseconds checkInterval_;

  mutable std::mutex refreshMutex_;  // held for a whole refreshAll
  // When the last refreshAll ended and whether every calendar worked; protected by
  // refreshMutex_.
  std::string lastRunDay_;
  std::chrono::steady_clock::time_point lastRunAt_;
  bool lastRunFailed_ = false;
  std::stop_source stopping_;  // asked to stop by cancel(), from any thread
  std::jthread thread_;        // last: joined before what it uses goes
};

}  // namespace veltrano
