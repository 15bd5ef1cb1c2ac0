#include "app/BrowserOpener.hpp"

// clang-format off
#include <windows.h>  // before shellapi.h, which depends on it
#include <shellapi.h>
// clang-format on

namespace veltrano {

BrowserOpener::~BrowserOpener() = default;

void BrowserOpener::open(const std::string& url) {
  int length = MultiByteToWideChar(CP_UTF8, 0, url.c_str(), -1, nullptr, 0);
  if (length <= 0)
    return;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, url.c_str(), -1, wide.data(), length);
  ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace veltrano
