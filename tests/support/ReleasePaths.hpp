#pragma once

#include <filesystem>

#include "foundation/Paths.hpp"

namespace veltrano::test {

// Release-mode paths below root: the bundle (with an empty assets folder) in root/bundle, the
// user's home in root/home.
inline Paths releasePathsIn(const std::filesystem::path& root) {
  std::filesystem::create_directories(root / "bundle" / "assets");
  RuntimeEnvironment env;
  env.release = true;
  env.bundleDir = root / "bundle";
  env.home = root / "home";
  return Paths(env);
}

}  // namespace veltrano::test
