#include "FuzzInput.hpp"
#include "foundation/TextChecks.hpp"
#include "http/SettingsUpdate.hpp"
#include "storage/Database.hpp"

// A settings update body: either a whole JSON body, or a setting's path, a newline and a
// JSON value, so the path's dots reach deep into the settings.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  if (size == 0)
    return 0;
  auto text = fuzz::asText(data + 1, size - 1);
  if (!jsonNestingWithin(text, MAX_JSON_DEPTH))
    return 0;
  Json changes;
  if (data[0] % 2 == 0) {
    changes = Json::parse(text, nullptr, false);
  } else {
    auto parts = fuzz::split(text, '\n', 2);
    Json value = Json::parse(parts[1], nullptr, false);
    if (value.is_discarded())
      return 0;
    changes = Json::object();
    changes[parts[0]] = std::move(value);
  }
  if (changes.is_discarded())
    return 0;
  Settings settings;
  Settings before = settings;
  try {
    applySettingsUpdate(settings, changes);
  } catch (const SettingsUpdateError&) {
    fuzz::require(settings == before, "a refused update changed the settings");
    return 0;
  }
  // Whatever was accepted must save.
  toJson(settings);
  return 0;
}
