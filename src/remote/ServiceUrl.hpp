#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrano {

// The local development service.
inline constexpr std::string_view DEVELOPMENT_SERVICE_URL = "http://localhost:5002";
// The production service, used in a release unless SERVICE_URL_VARIABLE names another.
inline constexpr std::string_view RELEASE_SERVICE_URL = "https://service.veltranoplayer.com";
// Environment variable that points a release at another service (a school's own mirror).
inline constexpr const char* SERVICE_URL_VARIABLE = "VELTRANO_SERVICE_URL";

// The base URL to use: the development service outside a release; in a release the
// environment value when it is set and not empty, else RELEASE_SERVICE_URL.
std::string selectServiceBaseUrl(bool isRelease, std::optional<std::string_view> environmentValue);

// The value of SERVICE_URL_VARIABLE, absent when it is not set.
std::optional<std::string> readServiceUrlVariable();

// A base URL taken apart: "https://host:8443/prefix" gives scheme "https", host "host",
// port 8443 and path prefix "/prefix" (no trailing slash; "" when there is no path).
struct ServiceUrl {
  std::string scheme;  // "http" or "https"
  std::string host;    // an IPv6 address without its brackets
  int port = 0;
  std::string pathPrefix;

  // "scheme://host:port", the form the HTTP client takes.
  std::string origin() const;

  bool operator==(const ServiceUrl&) const = default;
};

// Throws std::invalid_argument("Invalid service URL: " + url) for anything but an http or
// https URL with a host, an optional port and an optional path (no user, query or fragment).
ServiceUrl parseServiceUrl(std::string_view url);

// Query parameters in the order they are sent.
using QueryParams = std::vector<std::pair<std::string, std::string>>;

// Form encoding of one key or value: letters, digits and "-._~" stay, a space becomes "+",
// every other byte becomes %XX.
std::string urlEncode(std::string_view text);

// "k1=v1&k2=v2", each key and value encoded, in the given order.
std::string encodeQuery(const QueryParams& params);

}  // namespace veltrano
