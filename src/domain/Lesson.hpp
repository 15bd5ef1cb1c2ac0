#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "domain/TimeOfDay.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// One lesson of a channel; end is not required to be after start.
struct Lesson {
  TimeOfDay start;
  TimeOfDay end;

  // The HTTP attribute map; the stored form is the text. Defined first: its deduced type
  // must be known where the members below compare values.
  static constexpr auto fields() {
    return std::tuple{field("start", &Lesson::start), field("end", &Lesson::end)};
  }

  // A 45-minute lesson starting on the full hour.
  static Lesson fromHour(int startHour = 0) noexcept;
  // Six lessons, 08:00 - 08:45 to 13:00 - 13:45; a new list on every call.
  static std::vector<Lesson> defaults();
  // "07:45 - 08:30" or "7:45-8:30"; pieces after the second "-" are ignored. Throws
  // std::out_of_range without a "-", and TimeOfDay::decode's failures for a bad time.
  static Lesson decode(std::string_view text);

  // "08:00 - 08:45", seconds shown where not zero ("08:00:30 - 08:45").
  std::string asString() const;
  std::string encode() const { return asString(); }

  bool operator==(const Lesson&) const = default;
};

std::size_t hashValue(const Lesson& lesson) noexcept;

}  // namespace veltrano

template <>
struct std::hash<veltrano::Lesson> {
  std::size_t operator()(const veltrano::Lesson& l) const noexcept {
    return veltrano::hashValue(l);
  }
};
