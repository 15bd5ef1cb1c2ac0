#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "remote/Result.hpp"

namespace veltrano {

// Bounds on fetching one calendar: a feed that is slow, silent, huge or sends the client
// round in circles ends with a reason instead of holding the refresh.
struct FeedLimits {
  std::chrono::milliseconds connect{5000};
  std::chrono::milliseconds read{10000};   // the longest silence within a reply
  std::chrono::milliseconds total{30000};  // the whole fetch, redirects included
  std::size_t maxBytes = 1024 * 1024;
  int maxRedirects = 5;
};

// Fetches subscribed calendars over HTTP and HTTPS (the server's certificate checked against
// the system's authorities). Thread-safe: each fetch uses its own connection.
class FeedFetcher {
 public:
  // The body of the calendar, or a sentence for the user on why there is none.
  using Outcome = Result<std::string, std::string>;

  explicit FeedFetcher(FeedLimits limits = {}) : limits_(limits) {}

  // Never throws. Ends early, with a failure, once cancel() was called.
  Outcome fetch(const std::string& url) const;

  // Ends the fetches under way at their next piece of data, and every later one at once: the
  // program is ending.
  void cancel() noexcept { cancelled_ = true; }
  bool isCancelled() const noexcept { return cancelled_; }

 private:
  const FeedLimits limits_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace veltrano
