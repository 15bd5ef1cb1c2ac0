#include "http/DatabaseHandlers.hpp"

#include "http/SettingsUpdate.hpp"

namespace veltrano {
namespace {

TimeTable decodeTimetable(const std::string& body) {
  TimeTable timetable;
  try {
    timetable = fromJson<TimeTable>(body);
  } catch (const std::exception&) {
    throw BadRequest("Invalid timetable");
  }
  try {
    checkRepeatCounts(timetable);
  } catch (const std::invalid_argument& e) {
    throw BadRequest(std::string("Invalid timetable: ") + e.what());
  }
  return timetable;
}

}  // namespace

void get_db(HttpContext& context, Exchange& exchange) {
  Json database = toDict(context.stores.lock().db());
  exchange.json(database);
}

void get_timetables(HttpContext& context, Exchange& exchange) {
  Json table = context.stores.lock().db().timetables.asTable();
  exchange.json(table);
}

void timetables_create(HttpContext& context, Exchange& exchange) {
  TimeTable timetable = decodeTimetable(exchange.request().body);
  std::string key = context.stores.lock().db().timetables.add(std::move(timetable));
  exchange.json(key);
}

void timetables_update(HttpContext& context, Exchange& exchange) {
  std::string id = exchange.pathParameter(1);
  if (!context.stores.lock().db().timetables.contains(id))
    throw BadRequest("ID not found");
  TimeTable timetable = decodeTimetable(exchange.request().body);
  {
    auto access = context.stores.lock();
    auto& timetables = access.db().timetables;
    // It may have been deleted while the body was decoded without the lock.
    if (!timetables.contains(id))
      throw BadRequest("ID not found");
    timetables.set(id, std::move(timetable));
  }
  exchange.json(true);
}

void update_settings(HttpContext& context, Exchange& exchange) {
  Json changes = parseRequestJson(exchange.request().body);
  if (changes.is_discarded())
    throw BadRequest("The settings update is not valid JSON");
  try {
    applySettingsUpdate(context.stores.lock().db().settings, changes);
  } catch (const SettingsUpdateError& e) {
    throw BadRequest(e.what());
  }
  exchange.json(true);
}

}  // namespace veltrano
