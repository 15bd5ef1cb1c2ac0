#include "foundation/FileSync.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace veltrano {

void syncFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    int error = errno;
    if (fd >= 0)
      ::close(fd);
    throw std::runtime_error("Cannot flush " + path.string() + " to disk: " + std::strerror(error));
  }
  ::close(fd);
}

void syncDirectory(const std::filesystem::path& directory) noexcept {
  int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace veltrano
