#pragma once

#include <array>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "foundation/Record.hpp"

namespace veltrano {

// What someone away from the screen is told of, by the names the settings use.
inline constexpr std::array<std::string_view, 4> ALERT_KINDS{"bellFailed", "clockUnsynchronised",
                                                             "saveFailed", "restartedAfterFailure"};

// More addresses than a school's caretakers would be a list better kept by its mail server.
inline constexpr std::size_t MAX_ALERT_ADDRESSES = 20;

// Who is told by e-mail, and of what.
struct AlertSettings {
  std::vector<std::string> email;
  std::vector<std::string> on{ALERT_KINDS.begin(), ALERT_KINDS.end()};

  static constexpr auto fields() {
    return std::tuple{field("email", &AlertSettings::email), field("on", &AlertSettings::on)};
  }

  // Why these settings can't be used ("'x' is not an e-mail address"), or empty text.
  std::string problem() const;
  bool covers(std::string_view kind) const;
};

// A plain address ("name@school.example"): what may go on a mail program's command line and
// into a header without being taken for an option or a second header.
bool isPlainEmailAddress(std::string_view address) noexcept;

}  // namespace veltrano
