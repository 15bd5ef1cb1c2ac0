#ifndef _WIN32

#include "foundation/PrivateDirectory.hpp"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace veltrano {

std::filesystem::path PrivateDirectory::create(const std::filesystem::path& parent,
                                               const std::string& prefix) {
  // mkdtemp picks a name nobody holds yet and makes the directory with mode 0700.
  std::string pattern = (parent / (prefix + "XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) {
    throw std::runtime_error("Cannot make a work directory in " + parent.string() + ": " +
                             std::strerror(errno));
  }
  return std::filesystem::path(name.data());
}

}  // namespace veltrano

#endif
