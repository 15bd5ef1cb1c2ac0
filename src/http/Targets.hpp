#pragma once

#include <optional>
#include <string>

#include "foundation/Json.hpp"
#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// The query arguments of a request.

// The view named target ("status", "overview", ...). Throws std::invalid_argument
// "Unknown target: <target>" for any other name, and whatever the view's own work throws.
// Takes the store lock itself.
Json get_target(HttpContext& context, const std::string& target, const QueryArguments& args);

// Performs the action named target on the object id ("playSignal", "deleteTimetable", ...).
// Throws "Unknown target: <target>" for any other name, HttpError 409 when a delete by
// position finds another event there than the one the caller described. Takes the store lock
// itself, and never holds it while downloading or reading a whole file. Answers the JSON to
// send for the actions that report a state ("alarmOn", "alarmOff", "stopAll"); the others answer
// "ok".
std::optional<Json> trigger_target(HttpContext& context, const std::string& target,
                                   const std::string& id, const QueryArguments& args);

// The first store that cannot be written ({"store", "reason", "since"}), for the dashboard's
// banner; null while saves succeed.
Json firstSaveError(Stores::Access& access);

// GET /api/get/<target>: the view as JSON, or 400 with the failure's text.
void get_endpoint(HttpContext& context, Exchange& exchange);
// GET /api/trigger/<target>/<id>: "ok", or 400 with the failure's text.
void trigger_endpoint(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
