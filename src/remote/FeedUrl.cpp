#include "remote/FeedUrl.hpp"

#include <algorithm>
#include <stdexcept>

namespace veltrano {
namespace {

[[noreturn]] void invalidUrl(std::string_view url) {
  const std::string_view shown = url.substr(0, 200);
  throw std::invalid_argument("Invalid calendar URL: " + std::string(shown));
}

bool isPrintableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7F;
  });
}

std::string lowercase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  return result;
}

// The path and query of a URL without its fragment; "/" when there is none.
std::string targetOf(std::string_view rest) {
  rest = rest.substr(0, rest.find('#'));
  if (rest.empty())
    return "/";
  if (rest.front() == '?')
    return "/" + std::string(rest);
  return std::string(rest);
}

}  // namespace

std::string FeedUrl::text() const {
  return origin.origin() + target;
}

FeedUrl parseFeedUrl(std::string_view url) {
  if (url.size() > MAX_FEED_URL_LENGTH || !isPrintableAscii(url))
    invalidUrl(url);
  const auto schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos)
    invalidUrl(url);
  std::string scheme = lowercase(url.substr(0, schemeEnd));
  if (scheme == "webcal")
    scheme = "https";
  if (scheme != "http" && scheme != "https")
    invalidUrl(url);
  const std::string_view rest = url.substr(schemeEnd + 3);
  const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
  const std::string_view authority = rest.substr(0, authorityEnd);
  FeedUrl parsed;
  try {
    // The service URL parser refuses a user name, and checks the host and the port.
    parsed.origin = parseServiceUrl(scheme + "://" + std::string(authority));
  } catch (const std::invalid_argument&) {
    invalidUrl(url);
  }
  parsed.target = targetOf(rest.substr(authorityEnd));
  return parsed;
}

FeedUrl resolveRedirect(const FeedUrl& from, std::string_view location) {
  if (location.find("://") != std::string_view::npos)
    return parseFeedUrl(location);
  if (!location.starts_with('/') || location.starts_with("//") ||
      location.size() > MAX_FEED_URL_LENGTH || !isPrintableAscii(location)) {
    invalidUrl(location);
  }
  FeedUrl next = from;
  next.target = targetOf(location);
  return next;
}

}  // namespace veltrano
