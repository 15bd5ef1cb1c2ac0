#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/RuntimeEnvironment.hpp"

namespace veltrano {

// The application's name; also names the user data directory.
inline constexpr std::string_view APP_NAME = "VeltranoPlayer";

// Where the program's files are: the read-only assets and dashboard of a release bundle or of
// the source checkout, and the per-user data directory. Every path returned is absolute,
// without "." or ".." and with symbolic links resolved; it need not exist.
// Safe to use from any thread.
class Paths {
 public:
  explicit Paths(RuntimeEnvironment env);
  // Paths of the running process (see RuntimeEnvironment::fromProcess).
  static Paths fromProcess();

  bool isRelease() const noexcept { return env_.release; }
  bool isWindows() const noexcept { return env_.windows; }

  // A packaged file below "assets". Throws std::invalid_argument unless filename is a plain
  // file name (no directory part), so a stored name cannot point outside the directory.
  std::filesystem::path getAssetPath(std::string_view filename) const;
  // The dashboard's static files.
  std::filesystem::path getHtmlDir() const;
  // The user data directory; not created here. Throws std::out_of_range when a Windows
  // release has no APPDATA or another release no home directory.
  std::filesystem::path getUserDataPath() const;
  // filename inside the user data directory, which is created (with parents) when missing;
  // with no name, the directory followed by the separator. Throws std::invalid_argument for a
  // name with a directory part, std::filesystem::filesystem_error when the directory cannot
  // be created.
  std::filesystem::path getUserFilePath(std::string_view filename = "") const;
  // Deletes a user file; a missing file is an error too (std::filesystem::filesystem_error).
  void removeUserFile(std::string_view filename) const;
  // Release: the trimmed content of assets/version.info (std::runtime_error when unreadable).
  // Development: "D" + `git describe --always --dirty` of the checkout, "D?" when git fails.
  // Worked out once per object, so a status poll never starts git; the first call may start
  // a child process, so the caller must not hold the store lock.
  std::string getVersion() const;

 private:
  // The bundle in a release, the checkout in development, made real.
  std::filesystem::path assetRoot(const std::filesystem::path& relative) const;
  std::string versionFromAsset() const;
  std::string versionFromGit() const;

  RuntimeEnvironment env_;
  // Shared by copies: they describe the same installation.
  struct VersionCache;
  std::shared_ptr<VersionCache> version_;
};

// True for platform identifiers that begin with "win32" or "cygwin".
bool isWindowsPlatform(std::string_view platform) noexcept;

// Splits off the last extension of the final path component: (name, extension in lower case
// without its dot). Leading dots of the component never start an extension.
std::pair<std::string, std::string> getFileNameAndExtension(std::string_view filename);

// Absolute, with "." and ".." removed and symbolic links of the existing part resolved.
std::filesystem::path realPath(const std::filesystem::path& path);

}  // namespace veltrano
