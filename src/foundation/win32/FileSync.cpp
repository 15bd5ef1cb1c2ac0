#include "foundation/FileSync.hpp"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace veltrano {

// _commit needs a handle that may write.
void syncFile(const std::filesystem::path& path) {
  int fd = _wopen(path.c_str(), _O_RDWR | _O_BINARY);
  if (fd < 0 || _commit(fd) != 0) {
    int error = errno;
    if (fd >= 0)
      _close(fd);
    throw std::runtime_error("Cannot flush " + path.string() + " to disk: " + std::strerror(error));
  }
  _close(fd);
}

// NTFS journals its directory entries itself; a directory cannot be opened for flushing here.
void syncDirectory(const std::filesystem::path&) noexcept {}

}  // namespace veltrano
