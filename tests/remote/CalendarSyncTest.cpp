#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "foundation/Record.hpp"
#include "remote/CalendarSync.hpp"
#include "remote/ServiceStub.hpp"
#include "support/LogCapture.hpp"

namespace veltrano {
namespace {

using test::LogCapture;
using test::ServiceStub;

ClockValue ninthOfMarch() {
  ClockValue value;
  value.tm_year = 2026;
  value.tm_mon = 3;
  value.tm_mday = 9;
  value.tm_hour = 10;
  return value;
}

const Json HUNGARY = {{"name", "Hungary"},
                      {"preferredWorkdayMode", 15},
                      {"provideHolidays", true},
                      {"validUntil", "2026-08-31"},
                      {"holidays", {"2026-03-15"}},
                      {"schoolBreaks", {"2026-04-02", "2026-04-03"}},
                      {"extraWorkdays", Json::array()}};
const Json AUSTRIA = {{"name", "Austria"}, {"holidays", {"2026-10-26"}}};

class CalendarSyncTest : public ::testing::Test {
 protected:
  // Puts a known copy of the registry (version 3: "hu" only, confirmed on 2026-01-05) in the
  // cache, so a test can tell a replacement from a date stamp.
  void seedCache(int version) {
    auto access = stores_.lock();
    Cache& cache = access.cache();
    cache.loadCalendarEntires(Json{{"hu", HUNGARY}}, version, "2026-01-05");
  }

  struct Snapshot {
    std::vector<std::string> regionIds;
    int version;
    std::string lastUpdated;
    bool operator==(const Snapshot&) const = default;
  };
  Snapshot snapshot() {
    auto access = stores_.lock();
    const Cache& cache = access.cache();
    Snapshot result{{}, cache.calendarVersion, cache.calendarLastUpdated};
    for (const auto& entry : cache.calendarRegions) {
      result.regionIds.push_back(entry.first);
    }
    return result;
  }

  ServiceStub stub_;
  Api api_{stub_.url(),
           ApiTimeouts{std::chrono::milliseconds(500), std::chrono::milliseconds(300),
                       std::chrono::milliseconds(500), std::chrono::milliseconds(300)}};
  Stores stores_;
  Clock clock_{ninthOfMarch};
  CalendarSync sync_{api_, stores_, clock_, "D1.4"};
};

TEST_F(CalendarSyncTest, FirstRunFetchesTheRegistry) {
  stub_.setCalendarVersion(3);
  stub_.setRegistry(Json{{"sk", {{"name", "Slovakia"}}}, {"hu", HUNGARY}}, 3);
  LogCapture log;

  sync_.phoneHome();

  EXPECT_EQ(snapshot(), (Snapshot{{"sk", "hu"}, 3, "2026-03-09"}));
  {
    auto access = stores_.lock();
    const CalendarRegion& hungary = access.cache().calendarRegions.get("hu");
    EXPECT_EQ(hungary.name, "Hungary");
    EXPECT_EQ(hungary.preferredWorkdayMode, WorkdayMode::MON_TO_FRI);
    EXPECT_EQ(hungary.schoolBreaks, (std::vector<std::string>{"2026-04-02", "2026-04-03"}));
  }
  EXPECT_EQ(stub_.targets(), (std::vector<std::string>{"/api/player/v1?c=ping&version=D1.4",
                                                       "/api/player/v1?c=getCalendarRegistry"}));
  EXPECT_TRUE(log.contains("Attempting to update calendar"));
  EXPECT_TRUE(log.contains("Calendar has been synchronized"));
}

TEST_F(CalendarSyncTest, VersionComparison) {
  const struct {
    const char* name;
    int cached;
    int service;
    Json entries;
    int registryVersion;
    Snapshot expected;
    int registryRequests;
  } cases[] = {
      {"same version: date only", 3, 3, Json{{"at", AUSTRIA}}, 3, {{"hu"}, 3, "2026-03-09"}, 0},
      {"service older: date only", 5, 4, Json{{"at", AUSTRIA}}, 4, {{"hu"}, 5, "2026-03-09"}, 0},
      {"service newer: replaced", 3, 4, Json{{"at", AUSTRIA}}, 4, {{"at"}, 4, "2026-03-09"}, 1},
      {"empty registry removes all", 3, 6, Json::object(), 6, {{}, 6, "2026-03-09"}, 1},
  };
  LogCapture log;
  for (const auto& c : cases) {
    ServiceStub stub;
    Api api(stub.url());
    Stores stores;
    CalendarSync sync(api, stores, clock_, "1");
    stores.lock().cache().loadCalendarEntires(Json{{"hu", HUNGARY}}, c.cached, "2026-01-05");
    stub.setCalendarVersion(c.service);
    stub.setRegistry(c.entries, c.registryVersion);

    sync.phoneHome();

    auto access = stores.lock();
    const Cache& cache = access.cache();
    Snapshot actual{{}, cache.calendarVersion, cache.calendarLastUpdated};
    for (const auto& entry : cache.calendarRegions) {
      actual.regionIds.push_back(entry.first);
    }
    EXPECT_EQ(actual, c.expected) << c.name;
    EXPECT_EQ(stub.count("getCalendarRegistry"), c.registryRequests) << c.name;
  }
}

TEST_F(CalendarSyncTest, FailedRequestsChangeNothing) {
  seedCache(3);
  const Snapshot before = snapshot();
  LogCapture log;

  stub_.setReply("ping", {500, "text/plain", "Internal error", {}});
  sync_.phoneHome();
  EXPECT_EQ(snapshot(), before);

  stub_.setReply("ping", {200, "application/json", R"({"calendarVersion": 4})", {}});
  stub_.setReply("getCalendarRegistry", {503, "text/plain", "busy", {}});
  sync_.phoneHome();
  EXPECT_EQ(snapshot(), before);

  stub_.setSilent(true);
  sync_.phoneHome();
  EXPECT_EQ(snapshot(), before);
  EXPECT_FALSE(log.contains("Calendar has been synchronized"));

  // The next check tries again.
  stub_.setSilent(false);
  stub_.setHandler("getCalendarRegistry", [](const httplib::Request&) {
    return ServiceStub::Reply{
        200, "application/json", Json{{"entries", {{"at", AUSTRIA}}}, {"version", 4}}.dump(), {}};
  });
  sync_.phoneHome();
  EXPECT_EQ(snapshot(), (Snapshot{{"at"}, 4, "2026-03-09"}));
}

TEST_F(CalendarSyncTest, MalformedRepliesFailAndChangeNothing) {
  seedCache(3);
  const Snapshot before = snapshot();
  const struct {
    const char* name;
    const char* ping;
    const char* registry;
  } cases[] = {
      {"ping without version", R"({"version": 4})", nullptr},
      {"ping version is text", R"({"calendarVersion": "4"})", nullptr},
      {"ping version is fractional", R"({"calendarVersion": 4.5})", nullptr},
      {"ping version too large", R"({"calendarVersion": 99999999999})", nullptr},
      {"ping is a list", R"([4])", nullptr},
      {"registry without entries", R"({"calendarVersion": 4})", R"({"version": 4})"},
      {"entries is a list", R"({"calendarVersion": 4})", R"({"entries": [], "version": 4})"},
      {"registry without version", R"({"calendarVersion": 4})", R"({"entries": {}})"},
      {"registry version is null", R"({"calendarVersion": 4})",
       R"({"entries": {}, "version": null})"},
      {"second region does not decode", R"({"calendarVersion": 4})",
       R"({"entries": {"at": {"name": "Austria"}, "sk": {"holidays": "2026-01-01"}},
           "version": 4})"},
      {"region name is a number", R"({"calendarVersion": 4})",
       R"({"entries": {"at": {"name": 5}}, "version": 4})"},
  };
  for (const auto& c : cases) {
    stub_.setReply("ping", {200, "application/json", c.ping, {}});
    if (c.registry != nullptr) {
      stub_.setReply("getCalendarRegistry", {200, "application/json", c.registry, {}});
    }
    LogCapture log;
    EXPECT_THROW(sync_.phoneHome(), DecodeError) << c.name;
    EXPECT_EQ(snapshot(), before) << c.name;
    EXPECT_FALSE(log.contains("Calendar has been synchronized")) << c.name;
  }
}

TEST_F(CalendarSyncTest, RequestsRunWithoutTheStoreLock) {
  // The stub reads the cache while it answers: with the lock held by the synchronisation it
  // would wait until the client gives up, and nothing would be synchronised.
  stub_.setHandler("ping", [this](const httplib::Request&) {
    const int cached = stores_.lock().cache().calendarVersion;
    return ServiceStub::Reply{
        200, "application/json", Json{{"calendarVersion", cached + 1}}.dump(), {}};
  });
  stub_.setHandler("getCalendarRegistry", [this](const httplib::Request&) {
    const int cached = stores_.lock().cache().calendarVersion;
    return ServiceStub::Reply{200,
                              "application/json",
                              Json{{"entries", {{"at", AUSTRIA}}}, {"version", cached + 1}}.dump(),
                              {}};
  });
  LogCapture log;

  sync_.phoneHome();

  EXPECT_EQ(snapshot(), (Snapshot{{"at"}, 1, "2026-03-09"}));
}

}  // namespace
}  // namespace veltrano
