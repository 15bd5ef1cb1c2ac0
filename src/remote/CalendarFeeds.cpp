#include "remote/CalendarFeeds.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <optional>

#include "domain/CalendarSubscription.hpp"

namespace veltrano {
namespace {

CalendarSubscription* findSubscription(DB& db, const std::string& url) {
  auto& list = db.calendarSubscriptions;
  auto found = std::find_if(list.begin(), list.end(),
                            [&](const CalendarSubscription& s) { return s.url == url; });
  return found == list.end() ? nullptr : &*found;
}

Date monthsAfter(const Date& date, int months) {
  const int index = date.y * 12 + (date.m - 1) + months;
  Date later{index / 12, index % 12 + 1, date.d};
  later.d = std::min(later.d, daysInMonth(later.y, later.m));
  return later;
}

}  // namespace

CalendarFeeds::CalendarFeeds(Stores& stores, const Clock& clock, FeedLimits limits, Reader reader,
                             std::chrono::milliseconds checkInterval)
    : stores_(stores),
      clock_(clock),
      fetcher_(limits),
      reader_(std::move(reader)),
      checkInterval_(checkInterval) {}

CalendarFeeds::~CalendarFeeds() {
  stop();
}

void CalendarFeeds::refreshAll() {
  std::lock_guard serial(refreshMutex_);
  const Date today = Date::fromTimeStruct(clock_.getClock());
  const Date from = today.plusDays(-FEED_DAYS_BEFORE);
  const Date to = monthsAfter(today, FEED_MONTHS_AHEAD);
  std::vector<std::string> urls;
  {
    auto access = stores_.lock();
    for (const auto& subscription : access.db().calendarSubscriptions)
      urls.push_back(subscription.url);
  }
  bool failed = false;
  for (const auto& url : urls) {
    if (fetcher_.isCancelled())
      return;
    if (!refreshOne(url, from, to))
      failed = true;
  }
  lastRunDay_ = today.asString();
  lastRunAt_ = std::chrono::steady_clock::now();
  lastRunFailed_ = failed;
}

bool CalendarFeeds::refreshOne(const std::string& url, const Date& from, const Date& to) {
  std::optional<std::vector<CalendarFileEvent>> occurrences;
  std::string error;
  auto fetched = fetcher_.fetch(url);
  if (fetched.isOk()) {
    try {
      occurrences = reader_(fetched.getValue(), from, to);
    } catch (const std::exception& e) {
      error = e.what();
    }
  } else {
    error = fetched.getError();
  }
  if (fetcher_.isCancelled())
    return false;  // the program is ending: nothing to tell about this calendar

  const std::string now = clock_.getDateString() + "T" + clock_.getTimeString();
  auto access = stores_.lock();
  DB& db = access.db();
  CalendarSubscription* subscription = findSubscription(db, url);
  if (!subscription)
    return true;  // deleted while it was fetched
  subscription->lastAttempt = now;
  if (occurrences) {
    auto& events = db.settings.calendar.singleEvents;
    const std::size_t kept = events.size() - countFeedEvents(events, url) +
                             db.settings.calendar.reoccurringEvents.size();
    if (kept + occurrences->size() <= MAX_CALENDAR_EVENTS) {
      if (replaceFeedEvents(events, url, feedEvents(*subscription, *occurrences))) {
        spdlog::info("Calendar \"{}\" changed: {} events", subscription->name, occurrences->size());
      }
      subscription->lastSuccess = now;
      subscription->lastError.clear();
      return true;
    }
    error = "The calendar holds more events than the player can keep";
  }
  spdlog::warn("Calendar \"{}\" not refreshed: {}", subscription->name, error);
  subscription->lastError = error;
  return false;
}

bool CalendarFeeds::isDue() const {
  std::lock_guard serial(refreshMutex_);
  if (lastRunDay_ != clock_.getDateString())
    return true;
  return lastRunFailed_ && std::chrono::steady_clock::now() - lastRunAt_ >= FEED_RETRY_INTERVAL;
}

void CalendarFeeds::start() {
  if (thread_.joinable())
    return;
  thread_ = std::jthread([this](const std::stop_token& own) {
    // cancel() may come from a signal handler's thread at any moment, even while this thread
    // is being started: it stops through stopping_, which is never replaced.
    std::stop_callback forward(own, [this] { stopping_.request_stop(); });
    const std::stop_token stop = stopping_.get_token();
    std::mutex mutex;
    std::condition_variable_any woken;
    while (!stop.stop_requested()) {
      try {
        if (isDue())
          refreshAll();
      } catch (const std::exception& e) {
        spdlog::error("Calendar refresh failed: {}", e.what());
      } catch (...) {
        spdlog::error("Calendar refresh failed: unknown failure");
      }
      std::unique_lock lock(mutex);
      woken.wait_for(lock, stop, checkInterval_, [] { return false; });
    }
  });
}

void CalendarFeeds::cancel() noexcept {
  fetcher_.cancel();
  stopping_.request_stop();
}

void CalendarFeeds::stop() noexcept {
  cancel();
  if (thread_.joinable())
    thread_.join();
}

}  // namespace veltrano
