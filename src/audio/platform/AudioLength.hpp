#pragma once

#include <string>

namespace veltrano {

// Length of an MP3 or WAVE file (chosen by the name's extension, any case) in whole seconds,
// a tie going to the even neighbour; -1 when it cannot be determined. Never throws.
int getAudioLength(const std::string& filePath) noexcept;

}  // namespace veltrano
