#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Paths.hpp"

namespace veltrano {
namespace {

// Playing time of a LAME-encoded MPEG-1 Layer III file, from the frame count in its
// Xing/Info header; nullopt when the file is not such a file.
std::optional<double> mp3Seconds(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), {});
  std::size_t pos = 0;
  if (data.size() > 10 && data[0] == 'I' && data[1] == 'D' && data[2] == '3') {
    pos = 10 + ((data[6] & 0x7f) << 21 | (data[7] & 0x7f) << 14 | (data[8] & 0x7f) << 7 |
                (data[9] & 0x7f));
  }
  if (pos + 4 > data.size() || data[pos] != 0xff || (data[pos + 1] & 0xfe) != 0xfa) {
    return std::nullopt;  // not an MPEG-1 Layer III frame
  }
  static constexpr int RATES[] = {44100, 48000, 32000};
  int rateIndex = (data[pos + 2] >> 2) & 3;
  if (rateIndex == 3) {
    return std::nullopt;
  }
  bool mono = (data[pos + 3] >> 6) == 3;
  std::size_t tag = pos + 4 + (mono ? 17 : 32);
  if (tag + 12 > data.size()) {
    return std::nullopt;
  }
  std::string id(data.begin() + static_cast<long>(tag), data.begin() + static_cast<long>(tag) + 4);
  auto be32 = [&](std::size_t at) {
    return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
           std::uint32_t{data[at + 2]} << 8 | std::uint32_t{data[at + 3]};
  };
  if ((id != "Info" && id != "Xing") || (be32(tag + 4) & 1) == 0) {
    return std::nullopt;
  }
  return be32(tag + 8) * 1152.0 / RATES[rateIndex];
}

// The committed signal files against the lengths the factory database records for them.
TEST(BuiltInSignalFiles, AreMp3sOfTheirRecordedLength) {
  RuntimeEnvironment env;
  env.sourceDir = VELTRANO_SOURCE_DIR;
  Paths paths(env);
  const std::vector<std::pair<std::string, int>> signals = {
      {"p-double.mp3", 2},     {"p-robot.mp3", 2},    {"p-ping.mp3", 3},     {"p-triplet.mp3", 2},
      {"p-vibraphone.mp3", 3}, {"s-cartoon.mp3", 11}, {"s-guitar.mp3", 5},   {"s-melody.mp3", 11},
      {"s-ring.mp3", 3},       {"alarm.mp3", 5},      {"p-intercom.mp3", 2}, {"s-bigben.mp3", 7},
  };
  for (const auto& [file, lengthSec] : signals) {
    auto seconds = mp3Seconds(paths.getAssetPath(file));
    ASSERT_TRUE(seconds.has_value()) << file;
    EXPECT_NEAR(*seconds, lengthSec, 0.5) << file;
  }
}

TEST(BuiltInSignalFiles, ReleaseVersionStampIsPresent) {
  RuntimeEnvironment env;
  env.release = true;
  env.bundleDir = VELTRANO_SOURCE_DIR;
  auto version = Paths(env).getVersion();
  EXPECT_FALSE(version.empty());
  EXPECT_EQ(version.find_first_of(" \t\r\n"), std::string::npos);
}

}  // namespace
}  // namespace veltrano
