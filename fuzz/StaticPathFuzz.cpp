#include "FuzzInput.hpp"
#include "http/StaticFiles.hpp"

// Whatever the path, a resolved file lies inside the dashboard's folder.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  static const std::filesystem::path root = [] {
    auto dir = std::filesystem::temp_directory_path() / "veltrano-fuzz-static";
    std::filesystem::create_directories(dir / "assets");
    return std::filesystem::canonical(dir);
  }();
  auto resolved = resolveStaticPath(root, fuzz::asText(data, size));
  if (resolved) {
    auto relative = resolved->lexically_relative(root);
    fuzz::require(!relative.empty() && *relative.begin() != "..", "a path outside the root");
  }
  return 0;
}
