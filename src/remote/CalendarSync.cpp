#include "remote/CalendarSync.hpp"

#include <spdlog/spdlog.h>

#include <limits>
#include <utility>

#include "foundation/Record.hpp"

namespace veltrano {
namespace {

// The reply object of a successful request; DecodeError when the body is not JSON.
const Json& replyObject(const ResponseBody& body, std::string_view operation) {
  const auto* json = std::get_if<Json>(&body);
  if (json == nullptr || !json->is_object()) {
    throw DecodeError("Invalid " + std::string(operation) + " reply: expected a JSON object, got " +
                      toText(body));
  }
  return *json;
}

int integerMember(const Json& object, const char* name, std::string_view operation) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_number_integer() ||
      *found < std::numeric_limits<int>::min() || *found > std::numeric_limits<int>::max()) {
    throw DecodeError("Invalid " + std::string(operation) + " reply: member '" + name +
                      "' must be an integer");
  }
  return found->get<int>();
}

}  // namespace

int decodePingReply(const ResponseBody& body) {
  return integerMember(replyObject(body, "ping"), "calendarVersion", "ping");
}

CalendarRegistryReply decodeRegistryReply(const ResponseBody& body) {
  const Json& registry = replyObject(body, "getCalendarRegistry");
  const auto entries = registry.find("entries");
  if (entries == registry.end() || !entries->is_object()) {
    throw DecodeError("Invalid getCalendarRegistry reply: member 'entries' must be an object");
  }
  return {*entries, integerMember(registry, "version", "getCalendarRegistry")};
}

CalendarSync::CalendarSync(Api& api, Stores& stores, const Clock& clock, std::string version)
    : api_(api), stores_(stores), clock_(clock), version_(std::move(version)) {}

void CalendarSync::phoneHome() {
  const auto reply = api_.ping(version_);
  if (!reply.isOk()) {
    return;
  }
  const int serviceVersion = decodePingReply(reply.getValue());

  bool outdated = false;
  {
    auto access = stores_.lock();
    Cache& cache = access.cache();
    outdated = cache.calendarVersion < serviceVersion;
    if (!outdated) {
      cache.calendarLastUpdated = clock_.getDateString();
    }
  }
  if (outdated) {
    updateCalendarRegions();
  }
}

void CalendarSync::updateCalendarRegions() {
  spdlog::debug("Attempting to update calendar");
  const auto reply = api_.getCalendarRegistry();
  if (!reply.isOk()) {
    return;
  }
  const auto [entries, version] = decodeRegistryReply(reply.getValue());

  {
    auto access = stores_.lock();
    // Decodes every region before it replaces any, so a bad entry changes nothing.
    access.cache().loadCalendarEntires(entries, version, clock_.getDateString());
  }
  spdlog::info("Calendar has been synchronized");
}

}  // namespace veltrano
