#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "http/HttpMessage.hpp"

namespace veltrano {

// Whether the browser says a request comes from a page of another site: a Sec-Fetch-Site
// other than same-origin or none, or an Origin that is not the player's own. A request with
// neither header (a script, the tray host) is not cross-site.
bool isCrossSiteRequest(const HttpRequest& request);

// The names the player answers to: any IP address, localhost, the machine's host name and
// fully qualified name, and the names an administrator allowed. A page that a DNS-rebinding
// attack loads under its own name reaches the player with that name, which is refused.
class HostNames {
 public:
  HostNames();

  // Adds names an administrator allowed (a DNS name for the player). Any thread.
  void allow(const std::vector<std::string>& names);

  // The Host header's name is one of the player's (its port does not matter). A request
  // without a Host header is not a browser's. May look up the machine's own name once.
  bool accepts(std::string_view hostHeader);

 private:
  bool isKnown(const std::string& name);

  std::mutex mutex_;
  std::set<std::string> names_;  // protected by mutex_; lower case, without a final dot
  // When the fully qualified name was last looked up; it is looked up again after a while in
  // case the network was not there at first.
  std::optional<std::chrono::steady_clock::time_point> lookedUp_;  // protected by mutex_
};

// The host part of a Host header: without the port, without the brackets of an IPv6
// address, in lower case, without a final dot.
std::string hostNameOf(std::string_view hostHeader);

}  // namespace veltrano
