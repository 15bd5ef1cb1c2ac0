#include "domain/AlertSettings.hpp"

#include <algorithm>

namespace veltrano {

bool isPlainEmailAddress(std::string_view address) noexcept {
  if (address.size() < 3 || address.size() > 254 || address.front() == '-')
    return false;
  const auto at = address.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == address.size() ||
      address.find('@', at + 1) != std::string_view::npos)
    return false;
  // Letters, digits and the few marks real addresses use; no spaces, quotes, brackets or
  // control characters.
  return std::all_of(address.begin(), address.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("@.-_+").find(c) != std::string_view::npos;
  });
}

std::string AlertSettings::problem() const {
  if (email.size() > MAX_ALERT_ADDRESSES)
    return "At most " + std::to_string(MAX_ALERT_ADDRESSES) + " e-mail addresses can be told";
  for (const auto& address : email) {
    if (!isPlainEmailAddress(address))
      return "'" + address.substr(0, 80) + "' is not an e-mail address";
  }
  for (const auto& kind : on) {
    if (std::find(ALERT_KINDS.begin(), ALERT_KINDS.end(), kind) == ALERT_KINDS.end())
      return "Unknown alert: '" + kind.substr(0, 80) + "'";
  }
  return {};
}

bool AlertSettings::covers(std::string_view kind) const {
  return std::find(on.begin(), on.end(), kind) != on.end();
}

}  // namespace veltrano
