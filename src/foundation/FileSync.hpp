#pragma once

#include <filesystem>

namespace veltrano {

// Puts a file's content on the disk before anything that relies on it is written. Throws
// std::runtime_error naming the file when it cannot be read or flushed.
void syncFile(const std::filesystem::path& path);

// Puts a directory's entries (files made, renamed or removed in it) on the disk. Best effort:
// where a platform cannot, or the attempt fails, nothing happens.
void syncDirectory(const std::filesystem::path& directory) noexcept;

}  // namespace veltrano
