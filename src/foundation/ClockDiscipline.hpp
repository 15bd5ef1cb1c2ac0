#pragma once

#include <optional>

namespace veltrano {

// What the operating system knows of its clock's accuracy: whether a time service keeps it
// synchronised, and the error it estimates.
struct ClockDiscipline {
  bool synchronised = false;
  std::optional<long long> estimatedErrorMs;
};

// Nothing where the platform can't tell.
std::optional<ClockDiscipline> readClockDiscipline() noexcept;

}  // namespace veltrano
