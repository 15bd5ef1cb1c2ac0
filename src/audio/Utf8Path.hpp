#pragma once

#include <filesystem>
#include <string>

namespace veltrano {

// Paths travel through the system as UTF-8 text; this makes a file-system path of one that
// means the same file on every platform.
inline std::filesystem::path pathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace veltrano
