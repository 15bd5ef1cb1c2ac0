#pragma once

#include <optional>

namespace veltrano {

// The longest clock step (or stall) that is bridged second by second; a longer one is taken
// as a new time.
inline constexpr long long MAX_CATCH_UP_SECONDS = 60;

// The local seconds, first to last inclusive, that a round processes; none when first > last.
struct SecondRange {
  long long first = 0;
  long long last = -1;

  bool empty() const noexcept { return first > last; }
};

// Decides which seconds of local wall-clock time (see localSecondOf) the scheduler processes
// when the clock moves, so that each second rings once whichever way the clock steps:
// - forward by up to MAX_CATCH_UP_SECONDS (a stall, a small correction): every second in
//   between, in order, late;
// - forward by more (resume from suspend, a clock set ahead, spring's daylight-saving
//   change): only the new second, with one warning;
// - back by up to MAX_CATCH_UP_SECONDS: nothing until the clock passes the last processed
//   second again;
// - back by more (a clock set back on purpose, autumn's daylight-saving change): the new
//   second, with one warning, so those seconds ring again.
// Used by the scheduler's thread only.
class SecondCursor {
 public:
  SecondRange advanceTo(long long now);
  std::optional<long long> lastProcessed() const noexcept { return last_; }

 private:
  std::optional<long long> last_;
};

}  // namespace veltrano
