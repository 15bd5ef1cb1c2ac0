#include <regex>

#include "FuzzInput.hpp"
#include "foundation/Json.hpp"
#include "foundation/TextChecks.hpp"
#include "http/RoutePattern.hpp"

namespace {

const char* const ROUTES[] = {"/api/get/([^/]+)", "/api/trigger/([^/]+)/([^/]+)",
                              "/db/timetables/update/([^/]+)", "/auth/login", "/(.*)", ".*"};

}  // namespace

// The checks every request passes: the UTF-8 check agrees with the JSON library's, a body
// within the nesting bound is safe to parse, copy and write, and route matching agrees with
// the regexes it replaces.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  auto text = fuzz::asText(data, size);
  bool valid = isValidUtf8(text);
  bool dumps = true;
  try {
    veltrano::Json(std::string(text)).dump();
  } catch (const Json::type_error&) {
    dumps = false;
  }
  fuzz::require(valid == dumps, "the UTF-8 check disagrees with the JSON library");

  if (jsonNestingWithin(text, MAX_JSON_DEPTH)) {
    Json parsed = Json::parse(text, nullptr, false);
    if (!parsed.is_discarded()) {
      Json copy = parsed;
      dumpReplacingInvalidUtf8(copy);
    }
  }

  // The regexes' "." stops at line ends; the paths the routes see never hold one unescaped.
  static const auto regexes = [] {
    std::vector<std::pair<const char*, std::regex>> all;
    for (const char* route : ROUTES)
      all.emplace_back(route, std::regex(route));
    return all;
  }();
  if (size <= 256 && text.find_first_of("\r\n") == std::string_view::npos) {
    std::string path(text);
    for (const auto& [route, regex] : regexes) {
      fuzz::require(matchesRoute(route, path) == std::regex_match(path, regex),
                    "route matching disagrees with the regex");
    }
  }
  return 0;
}
