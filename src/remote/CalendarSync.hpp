#pragma once

#include <string>

#include "domain/Clock.hpp"
#include "remote/Api.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// Keeps the cached calendar regions as new as the remote service's registry. Runs on a
// background thread: the requests are made without the store lock, which is taken only
// to compare versions and to replace the regions.
// The service's version from a ping reply body; DecodeError when it has none.
int decodePingReply(const ResponseBody& body);

// The registry reply's regions (an object by region id) and version; DecodeError when the body
// lacks either. The entries point into body.
struct CalendarRegistryReply {
  const Json& entries;
  int version;
};
CalendarRegistryReply decodeRegistryReply(const ResponseBody& body);

class CalendarSync {
 public:
  // `version` is this program's version text, sent with every ping.
  CalendarSync(Api& api, Stores& stores, const Clock& clock, std::string version);

  // Asks the service for its calendar version and fetches the registry when it is newer
  // than the cache; otherwise only the date of the last confirmation advances. An
  // unreachable service or an error status changes nothing. Throws DecodeError, with
  // nothing changed, when a reply does not have the expected members. Caller must not
  // hold the store lock.
  void phoneHome();

  // Fetches the registry and replaces the cached regions, version and date at once.
  // Same failure rules as phoneHome; caller must not hold the store lock.
  void updateCalendarRegions();

 private:
  Api& api_;
  Stores& stores_;
  const Clock& clock_;
  const std::string version_;
};

}  // namespace veltrano
