#include "FuzzInput.hpp"
#include "domain/TimeTable.hpp"
#include "foundation/TextChecks.hpp"

// A timetable body as the create and update routes decode it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  auto text = fuzz::asText(data, size);
  if (!jsonNestingWithin(text, MAX_JSON_DEPTH))
    return 0;
  TimeTable timetable;
  try {
    timetable = fromJson<TimeTable>(text);
    checkRepeatCounts(timetable);
  } catch (const std::invalid_argument&) {
    return 0;
  }
  std::string saved = toJson(timetable);
  fuzz::require(fromJson<TimeTable>(saved) == timetable, "a timetable saves differently");
  return 0;
}
