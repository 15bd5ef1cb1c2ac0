#include "calendarreader/ReaderLimits.hpp"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <stdexcept>
#include <string>

namespace veltrano {
namespace {

constexpr rlim_t CPU_SECONDS = 2;
constexpr rlim_t ADDRESS_SPACE_BYTES = 256 * 1024 * 1024;

// Sanitizer builds reserve terabytes of address space up front, and their leak check at the
// end starts a thread and reads /proc: only the CPU limit holds there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

void limit(int resource, rlim_t soft, rlim_t hard, const char* name) {
  rlimit value{soft, hard};
  if (::setrlimit(resource, &value) != 0)
    throw std::runtime_error(std::string("cannot limit ") + name);
}

}  // namespace

void limitReaderResources() {
  // SIGXCPU at the soft limit ends the program; SIGKILL a second later if it caught that.
  limit(RLIMIT_CPU, CPU_SECONDS, CPU_SECONDS + 1, "CPU time");
  if (!SANITIZED) {
    limit(RLIMIT_AS, ADDRESS_SPACE_BYTES, ADDRESS_SPACE_BYTES, "address space");
    limit(RLIMIT_NPROC, 0, 0, "processes");
  }
  limit(RLIMIT_FSIZE, 0, 0, "file size");
  limit(RLIMIT_CORE, 0, 0, "core dumps");
  // The service already runs without new privileges; a reader started by hand gets none too.
  ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
}

void closeReaderToTheOutside() {
  if (!SANITIZED)
    limit(RLIMIT_NOFILE, 0, 0, "descriptors");
}

}  // namespace veltrano
