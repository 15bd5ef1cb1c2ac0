#include "foundation/PrivateDirectory.hpp"

#include <system_error>

namespace veltrano {

PrivateDirectory::PrivateDirectory(const std::filesystem::path& parent, const std::string& prefix)
    : path_(create(parent, prefix)) {}

PrivateDirectory::~PrivateDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace veltrano
