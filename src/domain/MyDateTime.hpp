#pragma once

#include <chrono>
#include <compare>
#include <string>
#include <string_view>

namespace veltrano {

// A local (zone-less) date and time to the microsecond; the modification stamp of records.
struct MyDateTime {
  using LocalTime = std::chrono::local_time<std::chrono::microseconds>;

  LocalTime date;

  // The current local date and time.
  MyDateTime();
  // ISO 8601 text as encode writes it; empty text means now. Throws std::invalid_argument
  // "Invalid isoformat string: '...'" for anything else.
  explicit MyDateTime(std::string_view dateText);
  explicit MyDateTime(LocalTime value) noexcept : date(value) {}

  static MyDateTime now();
  static MyDateTime decode(std::string_view text) { return MyDateTime(text); }

  // "2026-03-09T07:45:12", with ".503118" appended only when the microseconds are not zero.
  std::string encode() const;

  bool operator==(const MyDateTime&) const = default;
  auto operator<=>(const MyDateTime&) const = default;
};

}  // namespace veltrano
