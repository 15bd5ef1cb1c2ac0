#include "http/CalendarImportHandlers.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "domain/CalendarFile.hpp"
#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

constexpr int DEFAULT_RANGE_MONTHS = 18;
constexpr long long MAX_RANGE_DAYS = 10 * 366;

std::optional<std::string> formField(const HttpRequest& request, const std::string& name) {
  auto found = request.files.find(name);
  if (found == request.files.end())
    return std::nullopt;
  return found->second.content;
}

Date dateArgument(const std::string& text) {
  try {
    return parseIsoDate(text);
  } catch (const std::invalid_argument&) {
    throw BadRequest("Invalid date: " + text + " (expected YYYY-MM-DD)");
  }
}

Date monthsLater(const Date& date, int months) {
  int index = date.y * 12 + (date.m - 1) + months;
  Date later{index / 12, index % 12 + 1, date.d};
  later.d = std::min(later.d, daysInMonth(later.y, later.m));
  return later;
}

std::string requireText(const Json& event, const char* member) {
  auto found = event.find(member);
  if (found == event.end() || !found->is_string())
    throw BadRequest(std::string("Each event needs a text member \"") + member + "\"");
  return found->get<std::string>();
}

}  // namespace

void calendar_preview_ics(HttpContext& context, Exchange& exchange) {
  const auto& request = exchange.request();
  auto file = request.files.find("file");
  if (file == request.files.end())
    throw BadRequest("No file part");

  auto fromText = formField(request, "from");
  auto toText = formField(request, "to");
  Date from = fromText && !fromText->empty() ? dateArgument(*fromText)
                                             : Date::fromTimeStruct(context.clock.getClock());
  Date to =
      toText && !toText->empty() ? dateArgument(*toText) : monthsLater(from, DEFAULT_RANGE_MONTHS);
  if (to.toDayNumber() < from.toDayNumber())
    throw BadRequest("The last day of the range is before its first day");
  if (to.toDayNumber() - from.toDayNumber() > MAX_RANGE_DAYS)
    throw BadRequest("The range is longer than 10 years");

  std::vector<CalendarFileEvent> events;
  try {
    events = readCalendarFile(file->second.content, from, to);
  } catch (const std::invalid_argument& e) {
    throw BadRequest(e.what());
  } catch (const std::runtime_error& e) {
    throw HttpError(500, e.what());
  }
  if (events.empty()) {
    throw BadRequest("The calendar file holds no events between " + from.asString() + " and " +
                     to.asString());
  }
  Json answer = Json::array();
  for (const auto& event : events) {
    answer.push_back(Json{{"summary", event.summary},
                          {"start", event.start.asString()},
                          {"end", event.end.asString()}});
  }
  exchange.json(answer);
}

void calendar_import(HttpContext& context, Exchange& exchange) {
  Json body = parseRequestJson(exchange.request().body);
  if (body.is_discarded() || !body.is_object() || !body.contains("events") ||
      !body["events"].is_array()) {
    throw BadRequest("The import needs a JSON object with a list \"events\"");
  }
  const Json& list = body["events"];
  if (list.size() > MAX_IMPORTED_EVENTS) {
    throw BadRequest("At most " + std::to_string(MAX_IMPORTED_EVENTS) +
                     " events can be imported at once");
  }
  std::vector<SingleCalendarEvent> events;
  events.reserve(list.size());
  for (const Json& item : list) {
    if (!item.is_object())
      throw BadRequest("Each event must be a JSON object");
    SingleCalendarEvent event;
    event.name = requireText(item, "name");
    if (!isValidUtf8(event.name) || utf8Length(event.name) > MAX_EVENT_NAME_CHARACTERS) {
      throw BadRequest("An event name must be UTF-8 text of at most " +
                       std::to_string(MAX_EVENT_NAME_CHARACTERS) + " characters");
    }
    event.start = dateArgument(requireText(item, "start"));
    event.end = dateArgument(requireText(item, "end"));
    if (event.end.toDayNumber() < event.start.toDayNumber())
      throw BadRequest("The event \"" + event.name + "\" ends before it starts");
    event.timeTableId = requireText(item, "timeTableId");
    events.push_back(std::move(event));
  }

  std::size_t added = 0;
  {
    auto access = context.stores.lock();
    DB& db = access.db();
    for (const auto& event : events) {
      if (event.timeTableId != "NULL" && !db.timetables.contains(event.timeTableId))
        throw BadRequest("Unknown timetable: " + event.timeTableId);
    }
    auto& stored = db.settings.calendar.singleEvents;
    std::vector<SingleCalendarEvent> fresh;
    for (auto& event : events) {
      auto same = [&](const SingleCalendarEvent& other) {
        return other.name == event.name && other.start == event.start && other.end == event.end;
      };
      if (std::none_of(stored.begin(), stored.end(), same) &&
          std::none_of(fresh.begin(), fresh.end(), same)) {
        fresh.push_back(std::move(event));
      }
    }
    added = fresh.size();
    stored.insert(stored.begin(), std::make_move_iterator(fresh.begin()),
                  std::make_move_iterator(fresh.end()));
  }
  Json answer = Json::object();
  answer["added"] = added;
  answer["skipped"] = events.size() - added;
  exchange.json(answer);
}

}  // namespace veltrano
