#include <exception>

#include "FuzzInput.hpp"
#include "domain/Calendar.hpp"
#include "domain/Programme.hpp"
#include "http/Exchange.hpp"

// The dashboard's event forms as the trigger targets read them: newline-separated texts.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  auto parts = fuzz::split(fuzz::asText(data, size), '\n', 4);
  try {
    auto event = SingleCalendarEvent::fromUserInput(parts[0], parts[1], parts[2]);
    event.start.encode();
  } catch (const std::invalid_argument&) {
  }
  try {
    auto event = ReoccurringCalendarEvent::fromUserInput(parts[0], parseInteger(parts[1], "mode"),
                                                         parseInteger(parts[2], "days"));
    event.isActiveOnDate(Date{});
    event.isActiveOnDate(parts[3]);
  } catch (const std::invalid_argument&) {
  }
  try {
    auto programme = Programme::fromUserInput(parts[0], parts[1], parts[2]);
    toJson(programme);
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {  // a time without its minute
  }
  return 0;
}
