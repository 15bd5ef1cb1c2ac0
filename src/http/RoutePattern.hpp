#pragma once

#include <string>
#include <string_view>

namespace veltrano {

// Longer paths answer 414 before any route's regex sees them: the framework matches routes
// with std::regex, whose matching recurses once per character.
inline constexpr std::size_t MAX_PATH_LENGTH = 1024;

// The route patterns this server registers, matched in one pass without std::regex: literal
// text, "([^/]+)" for one non-empty segment and "(.*)" or ".*" for the rest of the path.
bool matchesRoute(std::string_view pattern, std::string_view path) noexcept;

}  // namespace veltrano
