#include "FuzzInput.hpp"
#include "remote/CalendarSync.hpp"
#include "storage/Cache.hpp"

// A reply of the remote service: its Content-Type, a newline, its body; read as a ping, a
// calendar registry and an announcement would be.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  auto parts = fuzz::split(fuzz::asText(data, size), '\n', 2);
  ResponseBody body;
  try {
    body = decodeResponseBody(parts[0], parts[1]);
  } catch (const Json::exception&) {
    return 0;
  }
  toText(body);
  try {
    decodePingReply(body);
  } catch (const DecodeError&) {
  }
  try {
    auto [entries, version] = decodeRegistryReply(body);
    Cache cache;
    cache.loadCalendarEntires(entries, version, "2026-03-09");
    toJson(cache);
  } catch (const DecodeError&) {
  }
  return 0;
}
