#include "http/RoutePattern.hpp"

namespace veltrano {
namespace {

constexpr std::string_view SEGMENT = "([^/]+)";
constexpr std::string_view REST = "(.*)";
constexpr std::string_view REST_UNCAPTURED = ".*";

// Matches in one pass; groups, when given, receive each captured text.
bool match(std::string_view pattern, std::string_view path, std::vector<std::string>* groups) {
  while (!pattern.empty()) {
    if (pattern == REST || pattern == REST_UNCAPTURED) {
      if (groups && pattern == REST)
        groups->emplace_back(path);
      return true;
    }
    if (pattern.starts_with(SEGMENT)) {
      std::size_t end = path.find('/');
      if (end == 0 || path.empty())
        return false;
      std::size_t length = end == std::string_view::npos ? path.size() : end;
      if (groups)
        groups->emplace_back(path.substr(0, length));
      path.remove_prefix(length);
      pattern.remove_prefix(SEGMENT.size());
      continue;
    }
    if (path.empty() || path.front() != pattern.front())
      return false;
    path.remove_prefix(1);
    pattern.remove_prefix(1);
  }
  return path.empty();
}

}  // namespace

bool matchesRoute(std::string_view pattern, std::string_view path) noexcept {
  return match(pattern, path, nullptr);
}

std::optional<std::vector<std::string>> matchRoute(std::string_view pattern,
                                                   std::string_view path) {
  std::vector<std::string> groups{std::string(path)};
  if (!match(pattern, path, &groups))
    return std::nullopt;
  return groups;
}

}  // namespace veltrano
