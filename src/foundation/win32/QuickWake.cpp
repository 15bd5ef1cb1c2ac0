#include "foundation/QuickWake.hpp"

namespace veltrano {

// Windows has no per-request wake-up latency limit; its processors wake as they do.
QuickWake::QuickWake() noexcept = default;

QuickWake::~QuickWake() = default;

}  // namespace veltrano
