#include "foundation/PrivateDirectory.hpp"

#include <stdexcept>
#include <system_error>

#include "foundation/Crypto.hpp"

namespace veltrano {

// The directory inherits the access list of the user's data directory, which only the user
// and the administrators may enter.
std::filesystem::path PrivateDirectory::create(const std::filesystem::path& parent,
                                               const std::string& prefix) {
  auto path = parent / (prefix + randomUuid());
  std::error_code error;
  if (!std::filesystem::create_directory(path, error) || error) {
    throw std::runtime_error("Cannot make a work directory in " + parent.string() + ": " +
                             error.message());
  }
  return path;
}

}  // namespace veltrano
