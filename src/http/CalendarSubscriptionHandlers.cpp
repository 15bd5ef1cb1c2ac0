#include "http/CalendarSubscriptionHandlers.hpp"

#include <algorithm>
#include <stdexcept>

#include "domain/CalendarSubscription.hpp"
#include "foundation/Utf8.hpp"
#include "remote/FeedUrl.hpp"

namespace veltrano {
namespace {

const char* const CALENDAR_CHANGED = "The calendar changed; reload";

std::string requireText(const Json& body, const char* member) {
  auto found = body.find(member);
  if (found == body.end() || !found->is_string())
    throw BadRequest(std::string("The subscription needs a text member \"") + member + "\"");
  return found->get<std::string>();
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

Json calendarSubscriptionList(HttpContext& context) {
  auto access = context.stores.lock();
  const DB& db = access.db();
  Json list = Json::array();
  for (const auto& subscription : db.calendarSubscriptions) {
    Json entry = toDict(subscription);
    entry["events"] = countFeedEvents(db.settings.calendar.singleEvents, subscription.url);
    list.push_back(std::move(entry));
  }
  return list;
}

void calendar_subscriptions_add(HttpContext& context, Exchange& exchange) {
  Json body = parseRequestJson(exchange.request().body);
  if (body.is_discarded() || !body.is_object())
    throw BadRequest("The subscription must be a JSON object");
  CalendarSubscription subscription;
  subscription.url = trimmed(requireText(body, "url"));
  subscription.timeTableId = requireText(body, "timeTableId");
  subscription.name = trimmed(requireText(body, "name"));
  FeedUrl url;
  try {
    url = parseFeedUrl(subscription.url);
  } catch (const std::invalid_argument& e) {
    throw BadRequest(e.what());
  }
  if (!isValidUtf8(subscription.name) ||
      utf8Length(subscription.name) > MAX_SUBSCRIPTION_NAME_CHARACTERS) {
    throw BadRequest("A calendar's name must be UTF-8 text of at most " +
                     std::to_string(MAX_SUBSCRIPTION_NAME_CHARACTERS) + " characters");
  }
  if (subscription.name.empty())
    subscription.name = url.origin.host;
  {
    auto access = context.stores.lock();
    DB& db = access.db();
    auto& list = db.calendarSubscriptions;
    if (subscription.timeTableId != "NULL" && !db.timetables.contains(subscription.timeTableId))
      throw BadRequest("Unknown timetable: " + subscription.timeTableId);
    if (std::any_of(list.begin(), list.end(),
                    [&](const CalendarSubscription& s) { return s.url == subscription.url; })) {
      throw BadRequest("This calendar is subscribed already");
    }
    if (list.size() >= MAX_CALENDAR_SUBSCRIPTIONS) {
      throw BadRequest("At most " + std::to_string(MAX_CALENDAR_SUBSCRIPTIONS) +
                       " calendars can be subscribed");
    }
    list.push_back(std::move(subscription));
  }
  exchange.json(calendarSubscriptionList(context));
}

void calendar_subscriptions_delete(HttpContext& context, Exchange& exchange) {
  const std::string id = exchange.pathParameter(1);
  int index = 0;
  try {
    index = parseInteger(id, "index");
  } catch (const std::invalid_argument& e) {
    throw BadRequest(e.what());
  }
  const auto& params = exchange.request().params;
  const auto expected = params.find("expectUrl");
  {
    auto access = context.stores.lock();
    DB& db = access.db();
    auto& list = db.calendarSubscriptions;
    const bool inRange = index >= 0 && static_cast<std::size_t>(index) < list.size();
    if (expected != params.end() && (!inRange || list[index].url != expected->second))
      throw HttpError(409, CALENDAR_CHANGED);
    if (!inRange)
      throw BadRequest("Index out of range: " + id);
    const std::string url = list[index].url;
    list.erase(list.begin() + index);
    std::erase_if(db.settings.calendar.singleEvents,
                  [&](const SingleCalendarEvent& event) { return event.feed == url; });
  }
  exchange.json(calendarSubscriptionList(context));
}

void calendar_subscriptions_refresh(HttpContext& context, Exchange& exchange) {
  context.feeds.refreshAll();
  exchange.json(calendarSubscriptionList(context));
}

}  // namespace veltrano
