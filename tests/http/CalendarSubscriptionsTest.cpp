#include <gtest/gtest.h>

#include <string>

#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

// The subscription routes with the real calendar reader; the calendar comes from the stub.
class CalendarSubscriptionsTest : public ServerFixture {
 protected:
  httplib::Result add(const Json& body) {
    return post("/db/calendar/subscriptions/add", body.dump());
  }
  std::vector<SingleCalendarEvent> singleEvents() {
    return stores_.lock().db().settings.calendar.singleEvents;
  }

  const std::string url_ = stub_.url() + "/api/player/v1?c=ics";
  // Today is 2026-03-09.
  const std::string ics_ =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
      "BEGIN:VEVENT\r\nUID:1\r\nSUMMARY:Easter break\r\nDTSTART;VALUE=DATE:20260330\r\n"
      "DTEND;VALUE=DATE:20260411\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
};

TEST_F(CalendarSubscriptionsTest, RefusesWhatCannotBeFetched) {
  struct Case {
    Json body;
    const char* refusal;
  };
  for (const Case& c : std::initializer_list<Case>{
           {Json::array(), "The subscription must be a JSON object"},
           {{{"url", "ftp://x/h.ics"}, {"timeTableId", "NULL"}, {"name", ""}},
            "Invalid calendar URL: ftp://x/h.ics"},
           {{{"url", url_}, {"timeTableId", "nope"}, {"name", ""}}, "Unknown timetable: nope"},
           {{{"url", url_}, {"timeTableId", "NULL"}},
            "The subscription needs a text member \"name\""},
       }) {
    auto answer = add(c.body);
    EXPECT_EQ(answer->status, 400);
    EXPECT_EQ(answer->body, c.refusal);
  }
  auto crossSite = client_->Post("/db/calendar/subscriptions/refresh",
                                 {{"Origin", "http://evil.example"}}, "", "text/plain");
  EXPECT_EQ(crossSite->status, 403);
  EXPECT_TRUE(stores_.lock().db().calendarSubscriptions.empty());
}

TEST_F(CalendarSubscriptionsTest, SubscribeRefreshAndUnsubscribe) {
  stub_.setReply("ics", {200, "text/calendar", ics_, {}});
  auto added = add({{"url", url_}, {"timeTableId", "NULL"}, {"name", ""}});
  ASSERT_EQ(added->status, 200) << added->body;
  EXPECT_EQ(Json::parse(added->body)[0]["name"], "127.0.0.1");
  EXPECT_EQ(add({{"url", url_}, {"timeTableId", "NULL"}, {"name", "Again"}})->body,
            "This calendar is subscribed already");

  auto refreshed = post("/db/calendar/subscriptions/refresh", "");
  ASSERT_EQ(refreshed->status, 200) << refreshed->body;
  const Json list = Json::parse(refreshed->body);
  EXPECT_EQ(list[0]["events"], 1);
  EXPECT_EQ(list[0]["lastError"], "");
  EXPECT_EQ(list[0]["lastSuccess"], "2026-03-09T10:00:00");
  ASSERT_EQ(singleEvents().size(), 1u);
  EXPECT_EQ(singleEvents()[0].name, "Easter break");
  EXPECT_EQ(singleEvents()[0].end, (Date{2026, 4, 10}));
  EXPECT_EQ(singleEvents()[0].feed, url_);
  EXPECT_EQ(Json::parse(get("/api/get/calendarSubscriptions")->body), list);

  EXPECT_EQ(post("/db/calendar/subscriptions/delete/0?expectUrl=other", "")->status, 409);
  auto deleted = post("/db/calendar/subscriptions/delete/0?expectUrl=" + urlEncode(url_), "");
  ASSERT_EQ(deleted->status, 200) << deleted->body;
  EXPECT_EQ(deleted->body, "[]");
  EXPECT_TRUE(singleEvents().empty());
}

}  // namespace
}  // namespace veltrano::test
