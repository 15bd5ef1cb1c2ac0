#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace veltrano::test {

// Writes a 16-bit PCM WAVE file of exactly `frames` sample frames: a sine tone, or silence
// when toneHz is 0.
inline void writeWave(const std::filesystem::path& path, std::uint32_t rate, std::uint16_t channels,
                      std::uint32_t frames, double toneHz = 440.0) {
  const std::uint16_t bits = 16;
  const std::uint32_t blockAlign = channels * bits / 8;
  const std::uint32_t dataSize = frames * blockAlign;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out.put(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  auto u16 = [&](std::uint16_t v) {
    out.put(static_cast<char>(v & 0xff));
    out.put(static_cast<char>(v >> 8));
  };
  out << "RIFF";
  u32(36 + dataSize);
  out << "WAVEfmt ";
  u32(16);
  u16(1);  // PCM
  u16(channels);
  u32(rate);
  u32(rate * blockAlign);
  u16(static_cast<std::uint16_t>(blockAlign));
  u16(bits);
  out << "data";
  u32(dataSize);
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    double t = static_cast<double>(frame) / rate;
    auto sample = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(2 * M_PI * toneHz * t)));
    for (std::uint16_t c = 0; c < channels; ++c) {
      u16(static_cast<std::uint16_t>(sample));
    }
  }
}

// True when the program can be found on the search path.
inline bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::error_code error;
    auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / program;
    if (std::filesystem::is_regular_file(candidate, error) &&
        (std::filesystem::status(candidate, error).permissions() &
         std::filesystem::perms::owner_exec) != std::filesystem::perms::none) {
      return true;
    }
  }
  return false;
}

// Largest absolute 16-bit sample of a raw little-endian sample file.
inline int peakOfRawSamples(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int peak = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto sample = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                            (static_cast<std::uint8_t>(bytes[i + 1]) << 8));
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}

}  // namespace veltrano::test
