#pragma once

#include "domain/Calendar.hpp"
#include "foundation/MapDb.hpp"
#include "foundation/Record.hpp"

#include <string>

namespace veltrano {

// The cache file "cache.json": the holiday regions as last fetched from the remote service.
struct Cache {
  MapDb<CalendarRegion> calendarRegions;
  int calendarVersion = 0;
  std::string calendarLastUpdated;

  static constexpr auto fields() {
    return std::tuple{field("calendarRegions", &Cache::calendarRegions),
                      field("calendarVersion", &Cache::calendarVersion),
                      field("calendarLastUpdated", &Cache::calendarLastUpdated)};
  }

  // Replaces the regions by the entries of data (region id -> region object), then the
  // version and the date; nothing changes when an entry does not decode.
  void loadCalendarEntires(const Json& data, int version, const std::string& now);
};

}  // namespace veltrano
