#pragma once

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// GET /db: the whole database in its stored encoding.
void get_db(HttpContext& context, Exchange& exchange);
// GET /db/timetables: the timetables' stored encodings, each with its key as "id".
void get_timetables(HttpContext& context, Exchange& exchange);
// POST /db/timetables/create: a timetable's JSON; answers the new key.
void timetables_create(HttpContext& context, Exchange& exchange);
// POST /db/timetables/update/<id>: replaces the timetable; answers true.
void timetables_update(HttpContext& context, Exchange& exchange);
// POST /db/settings/update: {"dotted.path": value}; all or nothing; answers true.
void update_settings(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
