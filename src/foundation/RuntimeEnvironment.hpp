#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace veltrano {

// What the process finds around it, before any decision is taken. Tests fill it by hand.
struct HostFacts {
  std::optional<std::filesystem::path> bundleVariable;  // VELTRANO_BUNDLE
  std::filesystem::path executablePath;                 // empty when unknown
  std::string platform;                                 // e.g. "linux", "win32", "cygwin"
  std::optional<std::filesystem::path> appData;         // APPDATA
  std::optional<std::filesystem::path> home;
  std::filesystem::path sourceDir;  // the checkout this program was built from
};

// The decided mode and the inputs the paths are derived from.
struct RuntimeEnvironment {
  bool release = false;
  std::filesystem::path bundleDir;  // asset root in a release
  bool windows = false;
  std::optional<std::filesystem::path> appData;
  std::optional<std::filesystem::path> home;
  std::filesystem::path sourceDir;  // asset root in development

  // A release when VELTRANO_BUNDLE names a directory, or when an installed bundle lies at
  // <executable dir>/../share/veltrano-player; development otherwise.
  static RuntimeEnvironment decide(const HostFacts& facts);
  // Reads the facts of the running process and decides.
  static RuntimeEnvironment fromProcess();
};

// Where an installation puts the bundle, relative to the executable's directory.
std::filesystem::path installedBundleDir(const std::filesystem::path& executablePath);

}  // namespace veltrano
