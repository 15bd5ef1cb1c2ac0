#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

// Longer paths answer 414 before any route sees them.
inline constexpr std::size_t MAX_PATH_LENGTH = 1024;

// The route patterns this server registers, matched in one pass without std::regex: literal
// text, "([^/]+)" for one non-empty segment and "(.*)" or ".*" for the rest of the path.
bool matchesRoute(std::string_view pattern, std::string_view path) noexcept;
// The same match with its groups: the whole path first, then each "(...)" in order.
std::optional<std::vector<std::string>> matchRoute(std::string_view pattern, std::string_view path);

}  // namespace veltrano
