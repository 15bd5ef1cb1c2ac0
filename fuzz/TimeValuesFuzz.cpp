#include <exception>

#include "FuzzInput.hpp"
#include "domain/Calendar.hpp"
#include "domain/Date.hpp"
#include "domain/Lesson.hpp"
#include "domain/MyDateTime.hpp"
#include "domain/TimeOfDay.hpp"

namespace veltrano::fuzz {
namespace {

// A value that decodes writes a text that decodes to the same text again.
template <class T>
void roundTrip(std::string_view text) {
  std::string written;
  try {
    written = T::decode(text).encode();
  } catch (const std::exception&) {
    return;
  }
  require(T::decode(written).encode() == written, "a written value does not read back alike");
}

}  // namespace
}  // namespace veltrano::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  if (size == 0)
    return 0;
  auto text = fuzz::asText(data + 1, size - 1);
  switch (data[0] % 5) {
    case 0:
      fuzz::roundTrip<TimeOfDay>(text);
      break;
    case 1:
      fuzz::roundTrip<Date>(text);
      break;
    case 2:
      fuzz::roundTrip<Lesson>(text);
      break;
    case 3:
      fuzz::roundTrip<MyDateTime>(text);
      break;
    default:
      try {
        parseIsoDate(text);
      } catch (const std::invalid_argument&) {
      }
  }
  return 0;
}
