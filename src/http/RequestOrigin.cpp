#include "http/RequestOrigin.hpp"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/host_name.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cctype>

namespace veltrano {
namespace {

// How long a failed or changed look-up of the machine's own name is trusted.
constexpr std::chrono::minutes LOOKUP_AGAIN_AFTER{10};

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string withoutFinalDot(std::string name) {
  if (!name.empty() && name.back() == '.')
    name.pop_back();
  return name;
}

bool isIpAddress(const std::string& name) {
  boost::system::error_code error;
  boost::asio::ip::make_address(name, error);
  return !error;
}

}  // namespace

bool isCrossSiteRequest(const HttpRequest& request) {
  std::string site = lowerCase(request.header("Sec-Fetch-Site"));
  if (!site.empty() && site != "same-origin" && site != "none")
    return true;
  if (!request.hasHeader("Origin"))
    return false;
  std::string origin = lowerCase(request.header("Origin"));
  std::string host = lowerCase(request.header("Host"));
  return host.empty() || (origin != "http://" + host && origin != "https://" + host);
}

std::string hostNameOf(std::string_view hostHeader) {
  std::string_view name = hostHeader;
  if (name.starts_with("[")) {
    std::size_t close = name.find(']');
    name = name.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
  } else if (std::size_t colon = name.rfind(':'); colon != std::string_view::npos) {
    name = name.substr(0, colon);
  }
  return withoutFinalDot(lowerCase(name));
}

HostNames::HostNames() {
  names_.insert("localhost");
  boost::system::error_code error;
  std::string own = boost::asio::ip::host_name(error);
  if (!error && !own.empty())
    names_.insert(withoutFinalDot(lowerCase(own)));
}

void HostNames::allow(const std::vector<std::string>& names) {
  std::lock_guard lock(mutex_);
  for (const auto& name : names) {
    if (!name.empty())
      names_.insert(hostNameOf(name));
  }
}

bool HostNames::accepts(std::string_view hostHeader) {
  if (hostHeader.empty())
    return true;
  std::string name = hostNameOf(hostHeader);
  return isIpAddress(name) || isKnown(name);
}

bool HostNames::isKnown(const std::string& name) {
  std::unique_lock lock(mutex_);
  if (names_.contains(name))
    return true;
  auto now = std::chrono::steady_clock::now();
  if (lookedUp_ && now - *lookedUp_ < LOOKUP_AGAIN_AFTER)
    return false;
  lookedUp_ = now;
  lock.unlock();
  // The fully qualified name, as the system's resolver gives it: looked up only for a name
  // that nothing else accepts, and then at most every few minutes.
  boost::system::error_code error;
  std::string own = boost::asio::ip::host_name(error);
  std::vector<std::string> found;
  if (!error) {
    boost::asio::io_context io;
    boost::asio::ip::tcp::resolver resolver(io);
    auto results = resolver.resolve(own, "", boost::asio::ip::tcp::resolver::canonical_name, error);
    if (!error) {
      for (const auto& entry : results)
        found.push_back(withoutFinalDot(lowerCase(entry.host_name())));
    }
  }
  lock.lock();
  for (auto& fullName : found) {
    if (!isIpAddress(fullName))
      names_.insert(std::move(fullName));
  }
  return names_.contains(name);
}

}  // namespace veltrano
