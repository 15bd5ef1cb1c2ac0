#include "calendarreader/CalendarFileParser.hpp"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "domain/CalendarReaderAnswer.hpp"
#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

// Steps of all repeat rules of one file (a daily rule since 1945 fits): a rule repeating every
// minute for years is refused instead of keeping the request busy.
constexpr std::size_t MAX_RECURRENCE_STEPS = 30000;

struct ComponentFree {
  void operator()(icalcomponent* component) const noexcept { icalcomponent_free(component); }
};
struct IteratorFree {
  void operator()(icalrecur_iterator* iterator) const noexcept {
    icalrecur_iterator_free(iterator);
  }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;
using IteratorPtr = std::unique_ptr<icalrecur_iterator, IteratorFree>;

bool startsLikeCalendar(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF"))
    text.remove_prefix(3);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  constexpr std::string_view BEGIN = "BEGIN:VCALENDAR";
  if (text.size() < BEGIN.size())
    return false;
  return std::equal(BEGIN.begin(), BEGIN.end(), text.begin(), [](char a, char b) {
    return a == std::toupper(static_cast<unsigned char>(b));
  });
}

long long dayNumber(const Date& date) {
  return date.toDayNumber();
}

// A time as the school's clock reads it: floating times as written, others in local time.
ClockValue wallClock(const icaltimetype& time) {
  if (time.zone == nullptr) {
    ClockValue value;
    value.tm_year = time.year;
    value.tm_mon = time.month;
    value.tm_mday = time.day;
    value.tm_hour = time.hour;
    value.tm_min = time.minute;
    value.tm_sec = time.second;
    return value;
  }
  return clockValueFromEpoch(icaltime_as_timet_with_zone(time, time.zone));
}

Date dayOf(const icaltimetype& time) {
  if (time.is_date)
    return Date{time.year, time.month, time.day};
  return Date::fromTimeStruct(wallClock(time));
}

// The zone a TZID parameter names, from the file's own definitions first; a file that names
// a well-known zone without defining it gets the library's built-in one.
icaltimetype withDeclaredZone(icaltimetype time, icalproperty* property, icalcomponent* calendar) {
  if (time.is_date || time.zone != nullptr || property == nullptr)
    return time;
  icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
  if (tzid == nullptr)
    return time;
  const char* name = icalparameter_get_tzid(tzid);
  icaltimezone* zone = icalcomponent_get_timezone(calendar, name);
  if (zone == nullptr)
    zone = icaltimezone_get_builtin_timezone(name);
  time.zone = zone;
  return time;
}

std::invalid_argument tooManyEvents(const Date& from, const Date& to) {
  return std::invalid_argument(
      "The calendar file holds more than " + std::to_string(MAX_CALENDAR_FILE_OCCURRENCES) +
      " events between " + from.asString() + " and " + to.asString() + ": choose a shorter range");
}

bool sameStart(const icaltimetype& a, const icaltimetype& b) {
  if (a.is_date || b.is_date)
    return icaltime_compare_date_only(a, b) == 0;
  return icaltime_compare(a, b) == 0;
}

class Expander {
 public:
  Expander(icalcomponent* calendar, Date from, Date to)
      : calendar_(calendar), from_(from), to_(to) {}

  // Instances moved or cancelled by a later VEVENT with a RECURRENCE-ID replace the repeat
  // rule's own.
  void collectMovedInstances() {
    forEachEvent([&](icalcomponent* event) {
      auto* property = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
      if (property == nullptr)
        return;
      const char* uid = icalcomponent_get_uid(event);
      icaltimetype id =
          withDeclaredZone(icalproperty_get_recurrenceid(property), property, calendar_);
      moved_.emplace_back(uid ? uid : "", id);
    });
  }

  void expandAll(std::vector<CalendarFileEvent>& out) {
    forEachEvent([&](icalcomponent* event) { expand(event, out); });
  }

 private:
  template <class Visit>
  void forEachEvent(Visit visit) {
    for (icalcomponent* event = icalcomponent_get_first_component(calendar_, ICAL_VEVENT_COMPONENT);
         event != nullptr;
         event = icalcomponent_get_next_component(calendar_, ICAL_VEVENT_COMPONENT)) {
      visit(event);
    }
  }

  void step() {
    if (++steps_ > MAX_RECURRENCE_STEPS)
      throw std::invalid_argument("The calendar file repeats its events too often to be read");
  }

  bool isMoved(icalcomponent* event, const icaltimetype& start) const {
    const char* uid = icalcomponent_get_uid(event);
    std::string_view id = uid ? uid : "";
    return std::any_of(moved_.begin(), moved_.end(), [&](const auto& entry) {
      return entry.first == id && sameStart(entry.second, start);
    });
  }

  std::vector<icaltimetype> occurrenceStarts(icalcomponent* event, icaltimetype dtstart) {
    std::vector<icaltimetype> starts{dtstart};
    for (auto* rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY); rule != nullptr;
         rule = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
      IteratorPtr iterator(icalrecur_iterator_new(icalproperty_get_rrule(rule), dtstart));
      if (!iterator)
        throw std::invalid_argument("The calendar file has a repeat rule that cannot be read");
      for (icaltimetype next = icalrecur_iterator_next(iterator.get());
           !icaltime_is_null_time(next); next = icalrecur_iterator_next(iterator.get())) {
        step();
        next.zone = dtstart.zone;
        next.is_date = dtstart.is_date;
        if (dayNumber(dayOf(next)) > dayNumber(to_))
          break;
        starts.push_back(next);
      }
    }
    for (auto* rdate = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
         rdate != nullptr; rdate = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
      step();
      icaldatetimeperiodtype value = icalproperty_get_rdate(rdate);
      icaltimetype time = icaltime_is_null_time(value.time) ? value.period.start : value.time;
      if (!icaltime_is_null_time(time))
        starts.push_back(withDeclaredZone(time, rdate, calendar_));
    }
    for (auto* exdate = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY);
         exdate != nullptr; exdate = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY)) {
      icaltimetype excluded = withDeclaredZone(icalproperty_get_exdate(exdate), exdate, calendar_);
      std::erase_if(starts, [&](const icaltimetype& t) { return sameStart(t, excluded); });
    }
    return starts;
  }

  void expand(icalcomponent* event, std::vector<CalendarFileEvent>& out) {
    if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED)
      return;
    auto* startProperty = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    icaltimetype dtstart =
        withDeclaredZone(icalcomponent_get_dtstart(event), startProperty, calendar_);
    if (icaltime_is_null_time(dtstart))
      return;
    auto* endProperty = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    icaltimetype dtend = withDeclaredZone(icalcomponent_get_dtend(event), endProperty, calendar_);
    if (endProperty == nullptr && !icaltime_is_null_time(dtend))
      dtend.zone = dtstart.zone;  // worked out from DURATION

    // All-day events last whole days (at least one); timed events a number of seconds.
    long long days = 1;
    long long seconds = 0;
    if (dtstart.is_date) {
      if (!icaltime_is_null_time(dtend))
        days = std::max(1LL, dayNumber(dayOf(dtend)) - dayNumber(dayOf(dtstart)));
    } else if (!icaltime_is_null_time(dtend)) {
      seconds = std::max<long long>(0, icaltime_as_timet_with_zone(dtend, dtend.zone) -
                                           icaltime_as_timet_with_zone(dtstart, dtstart.zone));
    }

    const bool isMovedInstance =
        icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr;
    std::string summary;
    if (const char* text = icalcomponent_get_summary(event))
      summary = truncateUtf8(text, MAX_CALENDAR_SUMMARY_CHARACTERS);

    for (const icaltimetype& start : occurrenceStarts(event, dtstart)) {
      if (!isMovedInstance && isMoved(event, start))
        continue;
      Date first = dayOf(start);
      Date last = first;
      if (start.is_date) {
        last = first.plusDays(days - 1);
      } else if (seconds > 0) {
        icaltimetype end = icaltime_add(
            start,
            icaldurationtype_from_int(static_cast<int>(std::min<long long>(seconds, 1LL << 30))));
        ClockValue wall = wallClock(end);
        last = Date::fromTimeStruct(wall);
        if (wall.tm_hour == 0 && wall.tm_min == 0 && wall.tm_sec == 0)
          last = last.plusDays(-1);
        if (dayNumber(last) < dayNumber(first))
          last = first;
      }
      if (dayNumber(last) < dayNumber(from_) || dayNumber(first) > dayNumber(to_))
        continue;
      out.push_back(CalendarFileEvent{summary, first, last});
      if (out.size() > MAX_CALENDAR_FILE_OCCURRENCES * 4)
        throw tooManyEvents(from_, to_);
    }
  }

  icalcomponent* calendar_;
  Date from_;
  Date to_;
  std::vector<std::pair<std::string, icaltimetype>> moved_;
  std::size_t steps_ = 0;
};

}  // namespace

std::vector<CalendarFileEvent> parseCalendarFile(std::string_view text, const Date& from,
                                                 const Date& to) {
  if (text.size() > MAX_CALENDAR_FILE_BYTES) {
    throw std::invalid_argument("The calendar file is too large (at most " +
                                std::to_string(MAX_CALENDAR_FILE_BYTES / 1024) + " KiB)");
  }
  if (!startsLikeCalendar(text))
    throw std::invalid_argument("The file is not an iCalendar (.ics) file");
  if (!isValidUtf8(text))
    throw std::invalid_argument("The calendar file is not UTF-8 text");

  icalerror_set_errors_are_fatal(0);
  const std::string terminated(text);
  ComponentPtr root(icalparser_parse_string(terminated.c_str()));
  if (!root)
    throw std::invalid_argument("The file is not an iCalendar (.ics) file");

  // A file may hold several calendars one after the other; the parser then wraps them.
  std::vector<icalcomponent*> calendars;
  if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
    calendars.push_back(root.get());
  } else {
    for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
         c != nullptr; c = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT)) {
      calendars.push_back(c);
    }
  }
  if (calendars.empty())
    throw std::invalid_argument("The file is not an iCalendar (.ics) file");

  std::vector<CalendarFileEvent> events;
  for (icalcomponent* calendar : calendars) {
    Expander expander(calendar, from, to);
    expander.collectMovedInstances();
    expander.expandAll(events);
  }
  std::sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
    return std::tuple(dayNumber(a.start), a.summary, dayNumber(a.end)) <
           std::tuple(dayNumber(b.start), b.summary, dayNumber(b.end));
  });
  events.erase(std::unique(events.begin(), events.end()), events.end());
  if (events.size() > MAX_CALENDAR_FILE_OCCURRENCES) {
    throw tooManyEvents(from, to);
  }
  return events;
}

void loadZonesNamedIn(std::string_view text) {
  icalerror_set_errors_are_fatal(0);
  // Folded lines joined first, so that a name split over two lines is found whole.
  std::string unfolded;
  unfolded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      continue;
    if (text[i] == '\n' && i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) {
      ++i;
      continue;
    }
    unfolded.push_back(text[i]);
  }
  constexpr std::string_view KEY = "TZID=";
  constexpr std::size_t MAX_ZONES = 50;
  constexpr std::size_t MAX_NAME_BYTES = 64;
  std::vector<std::string> loaded;
  auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
  for (std::size_t at = 0; at + KEY.size() <= unfolded.size() && loaded.size() < MAX_ZONES; ++at) {
    if (!std::equal(KEY.begin(), KEY.end(), unfolded.begin() + static_cast<std::ptrdiff_t>(at),
                    [&](char a, char b) { return a == upper(b); })) {
      continue;
    }
    std::size_t start = at + KEY.size();
    std::size_t end = start;
    if (end < unfolded.size() && unfolded[end] == '"')
      ++start, end = unfolded.find('"', start);
    else
      end = unfolded.find_first_of(";:,\r\n", start);
    if (end == std::string::npos)
      end = unfolded.size();
    std::string name = unfolded.substr(start, std::min(end - start, MAX_NAME_BYTES + 1));
    at = end;
    // Only names as the zone database spells them: nothing that walks out of its folder.
    bool plain = !name.empty() && name.size() <= MAX_NAME_BYTES &&
                 name.find("..") == std::string::npos && name.front() != '/' &&
                 std::all_of(name.begin(), name.end(), [](char c) {
                   return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' ||
                          c == '-' || c == '+';
                 });
    if (!plain || std::find(loaded.begin(), loaded.end(), name) != loaded.end())
      continue;
    // The library reads a zone's file only when the zone is first used: use it now.
    if (icaltimezone* zone = icaltimezone_get_builtin_timezone(name.c_str()))
      icaltimezone_get_component(zone);
    loaded.push_back(std::move(name));
  }
}

}  // namespace veltrano
