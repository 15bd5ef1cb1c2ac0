#include "foundation/LimitedProcess.hpp"

namespace veltrano {

// No helper program reads untrusted input on Windows.
LimitedProcessOutcome runLimitedProcess(const std::filesystem::path&,
                                        const std::vector<std::string>&, std::string_view,
                                        const LimitedProcessLimits&) {
  return {};
}

void killLimitedProcesses() noexcept {}

}  // namespace veltrano
