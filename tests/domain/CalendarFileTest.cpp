#include <gtest/gtest.h>

#include <ctime>
#include <stdexcept>
#include <string>

#include "audio/ScopedEnv.hpp"
#include "domain/CalendarFile.hpp"
#include "domain/CalendarReaderAnswer.hpp"

namespace veltrano {
namespace {

std::string calendar(const std::string& body) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//School board//Terms//EN\r\n" + body +
         "END:VCALENDAR\r\n";
}

std::vector<std::string> asText(const std::vector<CalendarFileEvent>& events) {
  std::vector<std::string> out;
  for (const auto& e : events)
    out.push_back(e.start.asString() + ".." + e.end.asString() + " " + e.summary);
  return out;
}

const Date FROM{2026, 9, 1};
const Date TO{2028, 8, 31};

TEST(CalendarFileTest, TermCalendarWithMultiDayAllDayEvents) {
  std::string file = calendar(
      // DTEND of an all-day event is the day after the last one.
      "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:Christmas break\r\nDTSTART;VALUE=DATE:20261221\r\n"
      "DTEND;VALUE=DATE:20270105\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:Teacher training\\, no pupils\r\n"
      "DTSTART;VALUE=DATE:20261102\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:c\r\nSUMMARY:Autumn break\r\nDTSTART;VALUE=DATE:20261026\r\n"
      "DURATION:P5D\r\nEND:VEVENT\r\n"
      // Started before the range, still running in it: kept whole.
      "BEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Summer break\r\nDTSTART;VALUE=DATE:20260720\r\n"
      "DTEND;VALUE=DATE:20260905\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:e\r\nSUMMARY:Old break\r\nDTSTART;VALUE=DATE:20260401\r\n"
      "DTEND;VALUE=DATE:20260410\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:f\r\nSUMMARY:Called off\r\nSTATUS:CANCELLED\r\n"
      "DTSTART;VALUE=DATE:20261201\r\nEND:VEVENT\r\n");
  EXPECT_EQ(asText(readCalendarFile(file, FROM, TO)),
            (std::vector<std::string>{"2026-07-20..2026-09-04 Summer break",
                                      "2026-10-26..2026-10-30 Autumn break",
                                      "2026-11-02..2026-11-02 Teacher training, no pupils",
                                      "2026-12-21..2027-01-04 Christmas break"}));
}

TEST(CalendarFileTest, YearlyHolidayWithAnExceptionAndAMovedYear) {
  std::string file = calendar(
      "BEGIN:VEVENT\r\nUID:national\r\nSUMMARY:National day\r\nDTSTART;VALUE=DATE:20201023\r\n"
      "RRULE:FREQ=YEARLY\r\nEXDATE;VALUE=DATE:20271023\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:national\r\nSUMMARY:National day (moved)\r\n"
      "RECURRENCE-ID;VALUE=DATE:20261023\r\nDTSTART;VALUE=DATE:20261026\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:extra\r\nSUMMARY:Open day\r\nDTSTART;VALUE=DATE:20261003\r\n"
      "RDATE;VALUE=DATE:20271002\r\nEND:VEVENT\r\n");
  EXPECT_EQ(asText(readCalendarFile(file, FROM, TO)),
            (std::vector<std::string>{"2026-10-03..2026-10-03 Open day",
                                      "2026-10-26..2026-10-26 National day (moved)",
                                      "2027-10-02..2027-10-02 Open day"}));
  EXPECT_EQ(asText(readCalendarFile(file, Date{2028, 1, 1}, Date{2029, 12, 31})),
            (std::vector<std::string>{"2028-10-23..2028-10-23 National day",
                                      "2029-10-23..2029-10-23 National day"}));
}

TEST(CalendarFileTest, TimedEventsUseTheFilesZonesAndTheLocalDay) {
  test::ScopedEnv zone("TZ", "Europe/Berlin");
  tzset();
  std::string file =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
      "BEGIN:VTIMEZONE\r\nTZID:Eastern\r\n"
      "BEGIN:STANDARD\r\nDTSTART:19701101T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\n"
      "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nEND:STANDARD\r\n"
      "BEGIN:DAYLIGHT\r\nDTSTART:19700308T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\n"
      "TZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
      // 20:00 in New York is 02:00 the next day in Berlin.
      "BEGIN:VEVENT\r\nUID:1\r\nSUMMARY:Call\r\nDTSTART;TZID=Eastern:20261223T200000\r\n"
      "DTEND;TZID=Eastern:20261223T210000\r\nEND:VEVENT\r\n"
      // Ends at local midnight: the last day is the one before.
      "BEGIN:VEVENT\r\nUID:2\r\nSUMMARY:Exam week\r\nDTSTART:20270111T070000Z\r\n"
      "DTEND:20270115T230000Z\r\nEND:VEVENT\r\n"
      // A zone only named, not defined, and a weekly rule with a count.
      "BEGIN:VEVENT\r\nUID:3\r\nSUMMARY:Choir\r\n"
      "DTSTART;TZID=Europe/Berlin:20270301T150000\r\nDURATION:PT1H\r\n"
      "RRULE:FREQ=WEEKLY;COUNT=2\r\nEND:VEVENT\r\n"
      "END:VCALENDAR\r\n";
  EXPECT_EQ(
      asText(readCalendarFile(file, FROM, TO)),
      (std::vector<std::string>{"2026-12-24..2026-12-24 Call", "2027-01-11..2027-01-15 Exam week",
                                "2027-03-01..2027-03-01 Choir", "2027-03-08..2027-03-08 Choir"}));
}

TEST(CalendarFileTest, BrokenOrHostileFilesAreRefusedWithAReason) {
  auto reason = [](const std::string& text, Date to = TO) -> std::string {
    try {
      readCalendarFile(text, FROM, to);
    } catch (const std::invalid_argument& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_EQ(reason("Subject,Start Date\nChristmas,12/21/2026\n"),
            "The file is not an iCalendar (.ics) file");
  EXPECT_EQ(reason(""), "The file is not an iCalendar (.ics) file");
  EXPECT_EQ(reason(calendar("BEGIN:VEVENT\r\nSUMMARY:Caf\xE9\r\nDTSTART;VALUE=DATE:20261001\r\n"
                            "END:VEVENT\r\n")),
            "The calendar file is not UTF-8 text");
  EXPECT_EQ(reason(calendar("BEGIN:VEVENT\r\nSUMMARY:x\r\nDTSTART:20000101T000000Z\r\n"
                            "RRULE:FREQ=MINUTELY\r\nEND:VEVENT\r\n")),
            "The calendar file repeats its events too often to be read");
  EXPECT_EQ(reason(calendar("BEGIN:VEVENT\r\nSUMMARY:x\r\nDTSTART;VALUE=DATE:20260901\r\n"
                            "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\n"),
                   Date{2029, 12, 31}),
            "The calendar file holds more than 1000 events between 2026-09-01 and 2029-12-31: "
            "choose a shorter range");
  EXPECT_EQ(reason(std::string(MAX_CALENDAR_FILE_BYTES + 1, 'B')),
            "The calendar file is too large (at most 1024 KiB)");
  EXPECT_EQ(reason("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Cut off"),
            "The file is not an iCalendar (.ics) file");
  // Events without a start: nothing to take, but no failure.
  EXPECT_TRUE(
      readCalendarFile(calendar("BEGIN:VEVENT\r\nSUMMARY:No start\r\nEND:VEVENT\r\n"), FROM, TO)
          .empty());
}

// Files found to keep the calendar library busy without end: each is read by the reader
// program under its limits and refused, and reading goes on as before afterwards.
TEST(CalendarFileTest, FilesBeyondTheReadersLimitsAreRefusedAsTooComplex) {
  std::string manyParameters = "BEGIN:VEVENT\r\nUID:p\r\nSUMMARY";
  for (int i = 0; i < 65536; ++i)
    manyParameters += ";FOO=1";
  manyParameters += ":x\r\nDTSTART;VALUE=DATE:20261001\r\nEND:VEVENT\r\n";
  const std::string hostile[] = {
      // A rule no day can satisfy: the library's iterator searches forever.
      calendar("BEGIN:VEVENT\r\nUID:s\r\nSUMMARY:x\r\nDTSTART:20260101T000000Z\r\n"
               "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30\r\nEND:VEVENT\r\n"),
      // A zone that changes every minute since 1601, expanded up to the event.
      calendar("BEGIN:VTIMEZONE\r\nTZID:Drift\r\nBEGIN:STANDARD\r\n"
               "DTSTART:16010101T000000\r\nRRULE:FREQ=MINUTELY\r\nTZOFFSETFROM:+0100\r\n"
               "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
               "BEGIN:VEVENT\r\nUID:z\r\nSUMMARY:x\r\nDTSTART;TZID=Drift:20261001T080000\r\n"
               "END:VEVENT\r\n"),
      // The library's parser is quadratic in the parameters of one line.
      calendar(manyParameters),
  };
  for (const auto& file : hostile) {
    try {
      readCalendarFile(file, FROM, TO);
      ADD_FAILURE() << "accepted: " << file.substr(0, 300);
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "The calendar file is too complex to read");
    }
  }
  EXPECT_EQ(asText(readCalendarFile(calendar("BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:Still read\r\n"
                                             "DTSTART;VALUE=DATE:20261001\r\nEND:VEVENT\r\n"),
                                    FROM, TO)),
            std::vector<std::string>{"2026-10-01..2026-10-01 Still read"});

  test::ScopedEnv missing("VELTRANO_CALENDAR_READER", "/nonexistent/veltrano-calendar-reader");
  EXPECT_THROW(readCalendarFile(calendar(""), FROM, TO), std::runtime_error);
}

// The reader's answer crosses a process boundary from a program that parses hostile files:
// whatever breaks its form or bounds is refused, never passed on.
TEST(CalendarFileTest, ReaderAnswersOutsideTheirFormAreRefused) {
  const CalendarReaderAnswer answer{{{"Term \u00e9", Date{2026, 9, 1}, Date{2026, 9, 2}}}, {}};
  auto decoded = decodeCalendarReaderAnswer(encodeCalendarReaderAnswer(answer));
  EXPECT_EQ(decoded.events, answer.events);
  EXPECT_EQ(decodeCalendarReaderAnswer(encodeCalendarReaderAnswer({{}, "No."})).refusal, "No.");

  std::string tooMany = R"({"events":[)";
  for (std::size_t i = 0; i <= MAX_CALENDAR_FILE_OCCURRENCES; ++i)
    tooMany += std::string(i ? "," : "") + R"({"summary":"x","start":"2026-09-01","end":"2026-09-01"})";
  tooMany += "]}";
  for (const std::string& bad : {
           std::string(R"({"events":[{"summary":"x","start":"2026-09-02","end":"2026-09-01"}]})"),
           std::string("{\"events\":[{\"summary\":\"\xff\",\"start\":\"2026-09-01\",\"end\":\"2026-09-01\"}]}"),
           std::string(R"({"events":[{"summary":"x","start":"2026-02-30","end":"2026-09-01"}]})"),
           R"({"events":[{"summary":")" + std::string(201, 'a') +
               R"(","start":"2026-09-01","end":"2026-09-01"}]})",
           std::string(R"({"events":[[[[1]]]]})"), std::string(100000, '[') + "1",
           std::string(R"({"refused":""})"), std::string("{\"events\":"), tooMany}) {
    EXPECT_THROW(decodeCalendarReaderAnswer(bad), std::runtime_error) << bad.substr(0, 100);
  }
}

}  // namespace
}  // namespace veltrano
