#include "storage/Cache.hpp"

namespace veltrano {

void Cache::loadCalendarEntires(const Json& data, int version, const std::string& now) {
  calendarRegions.fromDict(data);
  calendarVersion = version;
  calendarLastUpdated = now;
}

}  // namespace veltrano
