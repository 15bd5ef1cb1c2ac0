#include "app/OpenFileLimit.hpp"

namespace veltrano {

// Windows sockets are not counted against a per-process file limit.
void raiseOpenFileLimit() noexcept {}

}  // namespace veltrano
