#include "foundation/ClockDiscipline.hpp"

namespace veltrano {

// Windows keeps its time service's state to itself.
std::optional<ClockDiscipline> readClockDiscipline() noexcept {
  return std::nullopt;
}

}  // namespace veltrano
