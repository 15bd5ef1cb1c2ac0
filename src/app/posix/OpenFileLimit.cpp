#include "app/OpenFileLimit.hpp"

#include <sys/resource.h>

#include <algorithm>

namespace veltrano {

void raiseOpenFileLimit() noexcept {
  // Room for thousands of connections.
  constexpr rlim_t WANTED = 65536;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= WANTED)
    return;
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? WANTED : std::min(limit.rlim_max, WANTED);
  setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace veltrano
