#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "remote/ServiceUrl.hpp"

namespace veltrano {

inline constexpr std::size_t MAX_FEED_URL_LENGTH = 2000;

// A calendar's address taken apart for the HTTP client: the origin as a ServiceUrl (its path
// prefix unused) and the target, path and query, as sent ("/cal/holidays.ics?lang=hu").
struct FeedUrl {
  ServiceUrl origin;
  std::string target;

  // The address again: "https://host:443/cal/holidays.ics?lang=hu".
  std::string text() const;
};

// Accepts http and https URLs, and webcal ones as https (what calendar sites offer to
// subscribe to), with a host, an optional port, path and query, in printable ASCII without
// spaces, at most MAX_FEED_URL_LENGTH long; a fragment is dropped, and a user name refused.
// Throws std::invalid_argument("Invalid calendar URL: ...") for anything else.
FeedUrl parseFeedUrl(std::string_view url);

// Where a redirect from `from` with this Location header leads: an absolute URL (checked as
// parseFeedUrl does), or a path on the same origin.
FeedUrl resolveRedirect(const FeedUrl& from, std::string_view location);

}  // namespace veltrano
