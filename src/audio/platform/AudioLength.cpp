#include "audio/platform/AudioLength.hpp"

#include <taglib/mpegfile.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>

#include "audio/Utf8Path.hpp"

namespace veltrano {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::optional<double> mp3Seconds(const std::filesystem::path& path) {
  TagLib::MPEG::File file(path.c_str());
  const TagLib::MPEG::Properties* properties = file.audioProperties();
  // Without a single frame header (an empty or foreign file) there is no sample rate.
  if (!file.isValid() || properties == nullptr || properties->sampleRate() <= 0) {
    return std::nullopt;
  }
  return properties->lengthInMilliseconds() / 1000.0;
}

// Counted from the sample frames: the millisecond length is already rounded and would turn
// a length just below a tie into a tie.
std::optional<double> wavSeconds(const std::filesystem::path& path) {
  TagLib::RIFF::WAV::File file(path.c_str());
  const TagLib::RIFF::WAV::Properties* properties = file.audioProperties();
  if (!file.isValid() || properties == nullptr || properties->sampleRate() <= 0) {
    return std::nullopt;
  }
  return static_cast<double>(properties->sampleFrames()) / properties->sampleRate();
}

}  // namespace

int getAudioLength(const std::string& filePath) noexcept {
  try {
    std::string lower = filePath;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    bool isMp3 = endsWith(lower, ".mp3");
    if (!isMp3 && !endsWith(lower, ".wav")) {
      return -1;
    }
    std::filesystem::path path = pathFromUtf8(filePath);
    // Opening a FIFO or device for reading could block for ever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
      return -1;
    }
    std::optional<double> seconds = isMp3 ? mp3Seconds(path) : wavSeconds(path);
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds > INT_MAX) {
      return -1;
    }
    // The default rounding mode sends ties to the even neighbour.
    return static_cast<int>(std::nearbyint(*seconds));
  } catch (...) {
    return -1;
  }
}

}  // namespace veltrano
