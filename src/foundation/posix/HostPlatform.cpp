#ifndef _WIN32

#include "foundation/HostPlatform.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace veltrano {

std::string_view platformIdentifier() noexcept {
#if defined(__CYGWIN__)
  return "cygwin";
#elif defined(__APPLE__)
  return "darwin";
#elif defined(__linux__)
  return "linux";
#else
  return "posix";
#endif
}

std::optional<std::filesystem::path> environmentPath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::filesystem::path(value);
}

std::filesystem::path currentExecutablePath() noexcept {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : path;
}

std::optional<std::filesystem::path> homeDirectory() {
  if (auto home = environmentPath("HOME"); home && !home->empty()) {
    return home;
  }
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
    return std::nullopt;
  }
  return std::filesystem::path(found->pw_dir);
}

}  // namespace veltrano

#endif
