#include "foundation/HostPlatform.hpp"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace veltrano {

std::string_view platformIdentifier() noexcept {
  return "win32";
}

std::optional<std::filesystem::path> environmentPath(const char* name) {
  std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = ::_wgetenv(wideName.c_str());
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::filesystem::path(value);
}

std::filesystem::path currentExecutablePath() noexcept {
  try {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      DWORD length =
          ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) {
        return {};
      }
      if (length < buffer.size()) {
        buffer.resize(length);
        return std::filesystem::path(buffer);
      }
      buffer.resize(buffer.size() * 2);
    }
  } catch (...) {
    return {};
  }
}

std::optional<std::filesystem::path> homeDirectory() {
  for (const char* name : {"USERPROFILE", "HOME"}) {
    if (auto home = environmentPath(name); home && !home->empty()) {
      return home;
    }
  }
  return std::nullopt;
}

}  // namespace veltrano
