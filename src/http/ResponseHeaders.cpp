#include "http/ResponseHeaders.hpp"

namespace veltrano {

const std::vector<std::pair<std::string, std::string>>& standardHeaders() {
  static const std::vector<std::pair<std::string, std::string>> HEADERS{
      {"Cache-Control", "no-store, no-cache, must-revalidate, max-age=0"},
      {"Pragma", "no-cache"},
      {"Expires", "0"},
      {"X-Content-Type-Options", "nosniff"},
      {"Content-Security-Policy", std::string(CONTENT_SECURITY_POLICY)},
      {"Referrer-Policy", "same-origin"},
  };
  return HEADERS;
}

}  // namespace veltrano
