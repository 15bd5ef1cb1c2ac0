#include <algorithm>
#include <optional>

#include "FuzzInput.hpp"
#include "foundation/JsonLimits.hpp"

namespace {

using veltrano::Json;
using veltrano::fuzz::require;

constexpr veltrano::JsonLimits LIMITS{
    .maxBytes = 64 * 1024, .maxDepth = 8, .maxValues = 2000, .maxStringBytes = 256};

// Values and depth of an accepted value, counted as the limits count them.
void measure(const Json& value, std::size_t depth, std::size_t& values, std::size_t& deepest) {
  ++values;
  if (!value.is_structured())
    return;
  deepest = std::max(deepest, depth + 1);
  for (const auto& element : value)
    measure(element, depth + 1, values, deepest);
}

}  // namespace

// Whatever parseJson accepts is what nlohmann's own parser makes of the text (with members in
// the same order as ordered_json keeps them) and within the limits; whatever nlohmann refuses,
// parseJson refuses too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = veltrano::fuzz::asText(data, size);
  std::optional<Json> bounded;
  try {
    bounded = veltrano::parseJson(text, LIMITS);
  } catch (const veltrano::JsonInputError&) {
  }
  Json plain = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!bounded) {
    return 0;
  }
  require(!plain.is_discarded(), "parseJson accepts what nlohmann refuses");
  require(*bounded == plain, "parseJson builds another value than nlohmann");
  require(bounded->dump() == nlohmann::ordered_json::parse(text).dump(),
          "members are not in ordered_json's order");
  std::size_t values = 0, deepest = 0;
  measure(*bounded, 0, values, deepest);
  require(values <= LIMITS.maxValues && deepest <= LIMITS.maxDepth, "a limit was passed");
  return 0;
}
