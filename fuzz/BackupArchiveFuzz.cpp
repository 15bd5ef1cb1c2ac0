#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include "FuzzInput.hpp"
#include "storage/BackupArchive.hpp"

// Any archive is either refused or checked whole; staged audio never lands outside the
// staging directory.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path staging =
      std::filesystem::temp_directory_path() / "veltrano-fuzz-backup-archive";
  std::error_code ignored;
  std::filesystem::remove_all(staging, ignored);
  std::filesystem::create_directories(staging);
  std::istringstream in(std::string(veltrano::fuzz::asText(data, size)));
  try {
    auto checked = veltrano::readBackupArchive(in, staging);
    for (const auto& [name, path] : checked.audio) {
      veltrano::fuzz::require(veltrano::isAudioFileName(name), "a staged file has a usable name");
      veltrano::fuzz::require(path.parent_path() == staging,
                              "a staged file lies in the staging directory");
    }
  } catch (const veltrano::BackupRefused&) {
  }
  return 0;
}
