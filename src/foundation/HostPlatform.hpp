#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace veltrano {

// Identifier of the platform this program was built for: "win32", "cygwin", "linux", ...
std::string_view platformIdentifier() noexcept;

// Value of an environment variable as a path; nullopt when unset.
std::optional<std::filesystem::path> environmentPath(const char* name);

// Absolute path of the running executable; empty when the system cannot tell.
std::filesystem::path currentExecutablePath() noexcept;

// The current user's home directory ($HOME, else the account database); nullopt when unknown.
std::optional<std::filesystem::path> homeDirectory();

}  // namespace veltrano
