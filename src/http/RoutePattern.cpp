#include "http/RoutePattern.hpp"

namespace veltrano {
namespace {

constexpr std::string_view SEGMENT = "([^/]+)";
constexpr std::string_view REST = "(.*)";
constexpr std::string_view REST_UNCAPTURED = ".*";

}  // namespace

bool matchesRoute(std::string_view pattern, std::string_view path) noexcept {
  while (!pattern.empty()) {
    if (pattern == REST || pattern == REST_UNCAPTURED)
      return true;
    if (pattern.starts_with(SEGMENT)) {
      std::size_t end = path.find('/');
      if (end == 0 || path.empty())
        return false;
      path.remove_prefix(end == std::string_view::npos ? path.size() : end);
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

}  // namespace veltrano
