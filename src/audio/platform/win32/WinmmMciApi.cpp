#include "audio/platform/win32/WinmmMciApi.hpp"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <array>
#include <string>

namespace veltrano {

namespace {

// Reply buffers hold 600 wide characters; the functions are told one less, so a reply always
// ends in NUL.
constexpr UINT BUF_LEN = 600;

std::wstring toWide(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string toUtf8(const wchar_t* wide) {
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) {
    return {};
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size - 1));
  return text;
}

}  // namespace

std::uint32_t WinmmMciApi::sendString(const std::string& command, std::string& reply) {
  std::array<wchar_t, BUF_LEN> buffer{};
  std::wstring wide = toWide(command);
  MCIERROR code = mciSendStringW(wide.c_str(), buffer.data(), BUF_LEN - 1, nullptr);
  reply = toUtf8(buffer.data());
  return static_cast<std::uint32_t>(code);
}

std::string WinmmMciApi::getErrorString(std::uint32_t code) {
  std::array<wchar_t, BUF_LEN> buffer{};
  mciGetErrorStringW(static_cast<MCIERROR>(code), buffer.data(), BUF_LEN - 1);
  return toUtf8(buffer.data());
}

}  // namespace veltrano
