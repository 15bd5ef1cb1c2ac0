#include "scheduling/SecondCursor.hpp"

#include <spdlog/spdlog.h>

namespace veltrano {

SecondRange SecondCursor::advanceTo(long long now) {
  if (!last_) {
    last_ = now;
    return {now, now};
  }
  const long long step = now - *last_;
  if (step > MAX_CATCH_UP_SECONDS) {
    spdlog::warn("The clock jumped forward by {} s: the seconds in between are skipped", step);
  } else if (step < -MAX_CATCH_UP_SECONDS) {
    spdlog::warn("The clock was set back by {} s: the seconds from the new time ring again", -step);
  } else if (step <= 0) {
    // Already processed: wait until the clock passes the last processed second again.
    return {};
  } else {
    const long long first = *last_ + 1;
    last_ = now;
    return {first, now};
  }
  last_ = now;
  return {now, now};
}

}  // namespace veltrano
