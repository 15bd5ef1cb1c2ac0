#include "foundation/RuntimeEnvironment.hpp"

#include <spdlog/spdlog.h>

#include <system_error>

#include "foundation/HostPlatform.hpp"
#include "foundation/Paths.hpp"

namespace veltrano {

namespace {

bool isDirectory(const std::filesystem::path& path) noexcept {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

std::filesystem::path installedBundleDir(const std::filesystem::path& executablePath) {
  return executablePath.parent_path() / ".." / "share" / "veltrano-player";
}

RuntimeEnvironment RuntimeEnvironment::decide(const HostFacts& facts) {
  RuntimeEnvironment env;
  env.windows = isWindowsPlatform(facts.platform);
  env.appData = facts.appData;
  env.home = facts.home;
  env.sourceDir = facts.sourceDir;

  if (facts.bundleVariable && !facts.bundleVariable->empty()) {
    if (isDirectory(*facts.bundleVariable)) {
      env.release = true;
      env.bundleDir = *facts.bundleVariable;
      return env;
    }
    spdlog::warn("VELTRANO_BUNDLE is not a directory, ignored: {}", facts.bundleVariable->string());
  }
  if (!facts.executablePath.empty()) {
    auto installed = installedBundleDir(facts.executablePath);
    if (isDirectory(installed)) {
      env.release = true;
      env.bundleDir = installed;
    }
  }
  return env;
}

RuntimeEnvironment RuntimeEnvironment::fromProcess() {
  HostFacts facts;
  facts.bundleVariable = environmentPath("VELTRANO_BUNDLE");
  facts.executablePath = currentExecutablePath();
  facts.platform = std::string(platformIdentifier());
  facts.appData = environmentPath("APPDATA");
  facts.home = homeDirectory();
  facts.sourceDir = std::filesystem::path(VELTRANO_SOURCE_DIR);
  return decide(facts);
}

}  // namespace veltrano
