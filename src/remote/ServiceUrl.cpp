#include "remote/ServiceUrl.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <stdexcept>

namespace veltrano {
namespace {

[[noreturn]] void invalidUrl(std::string_view url) {
  throw std::invalid_argument("Invalid service URL: " + std::string(url));
}

bool isUnreserved(unsigned char c) {
  return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

// Characters a host name or a path prefix may hold as they stand.
bool isPlainUrlChar(unsigned char c) {
  return c > 0x20 && c < 0x7F && c != '?' && c != '#' && c != '@' && c != '\\';
}

}  // namespace

std::string selectServiceBaseUrl(bool isRelease, std::optional<std::string_view> environmentValue) {
  if (!isRelease) {
    return std::string(DEVELOPMENT_SERVICE_URL);
  }
  if (environmentValue && !environmentValue->empty()) {
    return std::string(*environmentValue);
  }
  return std::string(RELEASE_SERVICE_URL);
}

std::optional<std::string> readServiceUrlVariable() {
  if (const char* value = std::getenv(SERVICE_URL_VARIABLE)) {
    return std::string(value);
  }
  return std::nullopt;
}

std::string ServiceUrl::origin() const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return scheme + "://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

ServiceUrl parseServiceUrl(std::string_view url) {
  ServiceUrl result;
  const auto schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) {
    invalidUrl(url);
  }
  result.scheme = std::string(url.substr(0, schemeEnd));
  std::transform(result.scheme.begin(), result.scheme.end(), result.scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (result.scheme != "http" && result.scheme != "https") {
    invalidUrl(url);
  }
  if (!std::all_of(url.begin() + static_cast<std::ptrdiff_t>(schemeEnd) + 3, url.end(),
                   [](char c) { return isPlainUrlChar(static_cast<unsigned char>(c)); })) {
    invalidUrl(url);
  }
  const std::string_view rest = url.substr(schemeEnd + 3);
  const std::string_view authority = rest.substr(0, rest.find('/'));
  std::string_view path = rest.substr(authority.size());

  std::string_view portText;
  if (authority.starts_with('[')) {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) {
      invalidUrl(url);
    }
    result.host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (!after.starts_with(':')) {
        invalidUrl(url);
      }
      portText = after.substr(1);
    }
  } else {
    const auto colon = authority.find(':');
    result.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = authority.substr(colon + 1);
    }
  }
  if (result.host.empty() ||
      (!authority.starts_with('[') && result.host.find(':') != std::string::npos)) {
    invalidUrl(url);
  }

  result.port = result.scheme == "https" ? 443 : 80;
  if (!portText.empty() || authority.ends_with(':')) {
    int port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || error != std::errc{} || end != portText.data() + portText.size() ||
        port < 1 || port > 65535) {
      invalidUrl(url);
    }
    result.port = port;
  }

  while (path.ends_with('/')) {
    path.remove_suffix(1);
  }
  result.pathPrefix = std::string(path);
  return result;
}

std::string urlEncode(std::string_view text) {
  static constexpr char HEX[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (isUnreserved(byte)) {
      result += c;
    } else if (byte == ' ') {
      result += '+';
    } else {
      result += '%';
      result += HEX[byte >> 4];
      result += HEX[byte & 0x0F];
    }
  }
  return result;
}

std::string encodeQuery(const QueryParams& params) {
  std::string result;
  for (const auto& [key, value] : params) {
    if (!result.empty()) {
      result += '&';
    }
    result += urlEncode(key);
    result += '=';
    result += urlEncode(value);
  }
  return result;
}

}  // namespace veltrano
