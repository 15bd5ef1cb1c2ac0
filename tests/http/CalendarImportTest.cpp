#include <gtest/gtest.h>

#include <string>

#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

class CalendarImportTest : public ServerFixture {
 protected:
  httplib::Result preview(const std::string& ics, const std::string& from = "",
                          const std::string& to = "") {
    httplib::MultipartFormDataItems items{{"file", ics, "terms.ics", "text/calendar"}};
    if (!from.empty())
      items.push_back({"from", from, "", ""});
    if (!to.empty())
      items.push_back({"to", to, "", ""});
    return client_->Post("/db/calendar/preview-ics", items);
  }
  std::vector<SingleCalendarEvent> singleEvents() {
    return stores_.lock().db().settings.calendar.singleEvents;
  }

  // Today is 2026-03-09; the default range runs 18 months from there.
  const std::string ics_ =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
      "BEGIN:VEVENT\r\nUID:1\r\nSUMMARY:Easter break\r\nDTSTART;VALUE=DATE:20260330\r\n"
      "DTEND;VALUE=DATE:20260411\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:2\r\nSUMMARY:May Day\r\nDTSTART;VALUE=DATE:20250501\r\n"
      "RRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n"
      "END:VCALENDAR\r\n";
};

TEST_F(CalendarImportTest, PreviewListsOccurrencesAndStoresNothing) {
  auto answer = preview(ics_);
  ASSERT_EQ(answer->status, 200) << answer->body;
  EXPECT_EQ(answer->body, R"([{"summary":"Easter break","start":"2026-03-30","end":"2026-04-10"},)"
                          R"({"summary":"May Day","start":"2026-05-01","end":"2026-05-01"},)"
                          R"({"summary":"May Day","start":"2027-05-01","end":"2027-05-01"}])");
  auto later = preview(ics_, "2027-01-01", "2030-12-31");
  ASSERT_EQ(later->status, 200) << later->body;
  EXPECT_EQ(Json::parse(later->body).size(), 4u);
  EXPECT_TRUE(singleEvents().empty());
}

TEST_F(CalendarImportTest, PreviewRefusesWithTheReason) {
  EXPECT_EQ(preview("just text")->body, "The file is not an iCalendar (.ics) file");
  EXPECT_EQ(preview(ics_, "2026-06-01", "2026-06-30")->body,
            "The calendar file holds no events between 2026-06-01 and 2026-06-30");
  EXPECT_EQ(preview(ics_, "2026-6-1")->body, "Invalid date: 2026-6-1 (expected YYYY-MM-DD)");
  EXPECT_EQ(preview(ics_, "2026-06-01", "2026-05-01")->body,
            "The last day of the range is before its first day");
  EXPECT_EQ(preview(ics_, "2026-06-01", "2046-05-01")->body, "The range is longer than 10 years");
  auto noFile = client_->Post("/db/calendar/preview-ics",
                              httplib::MultipartFormDataItems{{"from", "2026-01-01", "", ""}});
  EXPECT_EQ(noFile->status, 400);
  EXPECT_EQ(noFile->body, "No file part");
}

TEST_F(CalendarImportTest, ImportAddsNamedEventsOnceAndChecksAllFirst) {
  const std::string body = R"({"events": [
      {"name": "Easter break", "start": "2026-03-30", "end": "2026-04-10", "timeTableId": "NULL"},
      {"name": "Sports day", "start": "2026-06-12", "end": "2026-06-12",
       "timeTableId": "ID_factory_default_timetable"}]})";
  auto first = post("/db/calendar/import", body);
  ASSERT_EQ(first->status, 200) << first->body;
  EXPECT_EQ(first->body, R"({"added":2,"skipped":0})");
  EXPECT_EQ(post("/db/calendar/import", body)->body, R"({"added":0,"skipped":2})");
  auto events = singleEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].name, "Easter break");
  EXPECT_EQ(events[0].end, (Date{2026, 4, 10}));
  EXPECT_EQ(events[1].timeTableId, FACTORY_DEFAULT_TIMETABLE_ID);
  auto month = Json::parse(get("/api/get/calendarDays?offset=1")->body);
  EXPECT_EQ(month["days"][0]["id"], "NULL");  // Monday 30 March, first cell of April's view

  for (const auto& [bad, reason] : std::vector<std::pair<std::string, std::string>>{
           {R"([])", "The import needs a JSON object with a list \"events\""},
           {R"({"events": [{"name": "x", "start": "2026-05-02", "end": "2026-05-01",
               "timeTableId": "NULL"}]})",
            "The event \"x\" ends before it starts"},
           {R"({"events": [{"name": "x", "start": "2026-05-01", "end": "2026-05-01",
               "timeTableId": "gone"}]})",
            "Unknown timetable: gone"},
           {"{\"events\": [{\"name\": \"\xC3\", \"start\": \"2026-05-01\"}]}",
            "The import needs a JSON object with a list \"events\""}}) {
    auto refused = post("/db/calendar/import", bad);
    EXPECT_EQ(refused->status, 400);
    EXPECT_EQ(refused->body, reason);
  }
  EXPECT_EQ(singleEvents().size(), 2u);

  ASSERT_EQ(get("/api/trigger/addSingleEvent/0?timetableId=NULL&startDate=2026-05-01&endDate="
                "2026-05-01&name=Labour%20Day")
                ->body,
            "ok");
  EXPECT_EQ(singleEvents()[0].name, "Labour Day");
}

}  // namespace
}  // namespace veltrano::test
