#include "foundation/AtomicFile.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace veltrano {
namespace {

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what, int error) {
  throw std::runtime_error("Cannot write " + path.string() + ": " + what + ": " +
                           std::strerror(error));
}

#ifdef _WIN32
int openForWrite(const std::filesystem::path& p) {
  return _wopen(p.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0644);
}
int writeSome(int fd, const char* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}
int flushToDisk(int fd) { return _commit(fd); }
int closeFile(int fd) { return _close(fd); }
void syncDirectory(const std::filesystem::path&) {}
#else
int openForWrite(const std::filesystem::path& p) {
  return ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}
ssize_t writeSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
int flushToDisk(int fd) { return ::fsync(fd); }
int closeFile(int fd) { return ::close(fd); }
// The rename itself must reach the disk too.
void syncDirectory(const std::filesystem::path& directory) {
  int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}
#endif

}  // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view content) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  int fd = openForWrite(temporary);
  if (fd < 0) fail(path, "cannot create " + temporary.string(), errno);

  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    auto written = writeSome(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      closeFile(fd);
      std::filesystem::remove(temporary);
      fail(path, "write failed", error);
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (flushToDisk(fd) != 0) {
    int error = errno;
    closeFile(fd);
    std::filesystem::remove(temporary);
    fail(path, "flush failed", error);
  }
  if (closeFile(fd) != 0) fail(path, "close failed", errno);

  std::error_code renameError;
  std::filesystem::rename(temporary, path, renameError);
  if (renameError) {
    std::filesystem::remove(temporary);
    throw std::runtime_error("Cannot write " + path.string() + ": " + renameError.message());
  }
  syncDirectory(path.parent_path());
}

}  // namespace veltrano
