#pragma once

#include <filesystem>
#include <string_view>

namespace veltrano {

// Replaces the file with content so that a crash or power cut at any moment leaves either
// the old or the new complete file: temporary file beside it, flushed to disk, renamed over.
// Throws std::runtime_error (naming the file) when the file cannot be written.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content);

}  // namespace veltrano
