#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrano {

// Scripts, styles, connections and everything else only from the dashboard's own origin
// (images may also be inline data), and no framing by other sites.
inline constexpr std::string_view CONTENT_SECURITY_POLICY =
    "default-src 'self'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self' data:; object-src 'none'; base-uri 'self'; form-action 'self'; "
    "frame-ancestors 'none'";

// The headers every answer carries, static files, redirects and errors included: nothing is
// cached (the dashboard shows live state), and a browser runs nothing but the dashboard's own
// files from this origin, never inside another site's frame.
const std::vector<std::pair<std::string, std::string>>& standardHeaders();

}  // namespace veltrano
