#pragma once

#include "domain/Clock.hpp"

namespace veltrano {

// Local wall-clock time counted in seconds straight across days and years: the difference of
// two counts is how far the clock on the wall moved, whatever the calendar did in between
// (a daylight-saving change moves it by an hour).
long long localSecondOf(const ClockValue& value) noexcept;
// Inverse of localSecondOf, weekday and day of the year included.
ClockValue clockValueAtLocalSecond(long long second) noexcept;

// Milliseconds since the epoch of a local time; of two equal local times across a clock set
// back, the system's choice.
long long epochMillisOfLocal(const ClockValue& value) noexcept;

}  // namespace veltrano
