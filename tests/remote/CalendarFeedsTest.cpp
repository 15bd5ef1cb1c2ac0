#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "remote/Api.hpp"
#include "remote/CalendarFeeds.hpp"
#include "remote/ServiceStub.hpp"

namespace veltrano {
namespace {

// The calendar texts the stub serves, read by a stand-in for the reader program: "first" and
// "moved" hold one break each, anything else is no calendar.
std::vector<CalendarFileEvent> readText(std::string_view text, const Date&, const Date&) {
  if (text == "first")
    return {{"Winter break", {2026, 12, 21}, {2027, 1, 1}}};
  if (text == "moved")
    return {{"Winter holidays", {2026, 12, 23}, {2027, 1, 3}}};
  throw std::invalid_argument("The file is not an iCalendar (.ics) file");
}

class CalendarFeedsTest : public ::testing::Test {
 protected:
  CalendarFeedsTest() {
    serve("first");
    auto access = stores_.lock();
    auto& calendar = access.db().settings.calendar;
    calendar.singleEvents.push_back(
        SingleCalendarEvent{"NULL", {2026, 12, 21}, {2026, 12, 21}, "Own", ""});
    access.db().calendarSubscriptions.push_back(
        CalendarSubscription{url_, "NULL", "District", "", "", ""});
  }

  void serve(const std::string& body, int status = 200) {
    stub_.setReply("ics", {status, "text/calendar", body, {}});
  }
  // The names of the single events, in order, and the subscription.
  std::vector<std::string> names() {
    std::vector<std::string> result;
    for (const auto& event : stores_.lock().db().settings.calendar.singleEvents)
      result.push_back(event.name + (event.feed.empty() ? "" : " (feed)"));
    return result;
  }
  CalendarSubscription subscription() { return stores_.lock().db().calendarSubscriptions.at(0); }

  test::ServiceStub stub_;
  const std::string url_ = stub_.url() + std::string(Api::PATH) + "?c=ics";
  ClockValue now_ = [] {
    ClockValue value;
    value.tm_year = 2026;
    value.tm_mon = 12;
    value.tm_mday = 9;
    value.tm_hour = 7;
    return value;
  }();
  std::atomic<int> day_{9};
  Clock clock_{[this] {
    ClockValue value = now_;
    value.tm_mday = day_;
    return value;
  }};
  Stores stores_;
};

TEST_F(CalendarFeedsTest, ReplacesTheEventsWhenTheCalendarChangesAndKeepsThemOnFailure) {
  CalendarFeeds feeds(stores_, clock_, {}, readText);
  feeds.refreshAll();
  EXPECT_EQ(names(), (std::vector<std::string>{"Own", "Winter break (feed)"}));
  EXPECT_EQ(subscription().lastSuccess, "2026-12-09T07:00:00");
  EXPECT_EQ(subscription().lastError, "");

  serve("moved");
  feeds.refreshAll();
  EXPECT_EQ(names(), (std::vector<std::string>{"Own", "Winter holidays (feed)"}));

  for (auto [body, status, error] :
       {std::tuple{"moved", 500, "The calendar's server answered HTTP 500"},
        std::tuple{"<html>", 200, "The file is not an iCalendar (.ics) file"}}) {
    serve(body, status);
    feeds.refreshAll();
    EXPECT_EQ(names(), (std::vector<std::string>{"Own", "Winter holidays (feed)"})) << error;
    EXPECT_EQ(subscription().lastError, error);
    EXPECT_EQ(subscription().lastSuccess, "2026-12-09T07:00:00");
  }
}

TEST_F(CalendarFeedsTest, RefreshesAtStartAndOnEachNewDay) {
  CalendarFeeds feeds(stores_, clock_, {}, readText, std::chrono::milliseconds(1));
  const auto waitForRequests = [&](int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stub_.count("ics") < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return stub_.count("ics");
  };
  feeds.start();
  EXPECT_EQ(waitForRequests(1), 1);
  day_ = 10;
  clock_.updateClock();
  EXPECT_EQ(waitForRequests(2), 2);
  feeds.stop();
  EXPECT_EQ(stub_.count("ics"), 2);
}

}  // namespace
}  // namespace veltrano
