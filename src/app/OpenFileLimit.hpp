#pragma once

namespace veltrano {

// Lets the process hold as many open files as the system allows it: every browser connection
// is one, and the usual default of 1024 would let a crowd of idle connections lock out the
// dashboard.
void raiseOpenFileLimit() noexcept;

}  // namespace veltrano
