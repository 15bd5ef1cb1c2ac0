#pragma once

#include <filesystem>
#include <string>

namespace veltrano {

// A directory of a fresh, unguessable name that only this user may enter, removed with
// everything in it when the object goes, however the work in it ended. Work files in it
// cannot collide with those of another request, nor be replaced by another user.
class PrivateDirectory {
 public:
  // Makes parent/<prefix><random>. Throws std::runtime_error when it cannot be made.
  PrivateDirectory(const std::filesystem::path& parent, const std::string& prefix);
  ~PrivateDirectory();
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  // Per platform: creates the directory, mode 0700 where modes exist.
  static std::filesystem::path create(const std::filesystem::path& parent,
                                      const std::string& prefix);

  std::filesystem::path path_;
};

}  // namespace veltrano
