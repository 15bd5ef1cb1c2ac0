#include "foundation/ClockDiscipline.hpp"

#if defined(__linux__)
#include <sys/timex.h>
#endif

namespace veltrano {

std::optional<ClockDiscipline> readClockDiscipline() noexcept {
#if defined(__linux__)
  // Reads the kernel's clock discipline without changing it (modes = 0).
  timex state{};
  const int clockState = ntp_adjtime(&state);
  if (clockState == -1)
    return std::nullopt;
  ClockDiscipline discipline;
  discipline.synchronised = clockState != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
  if (discipline.synchronised)
    discipline.estimatedErrorMs = (state.esterror + 999) / 1000;  // microseconds, rounded up
  return discipline;
#else
  return std::nullopt;
#endif
}

}  // namespace veltrano
