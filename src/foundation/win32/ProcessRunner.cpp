#include "foundation/ProcessRunner.hpp"

#include <windows.h>

namespace veltrano {

namespace {

std::wstring wideFromUtf8(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  int length =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

// Quotes one argument so that the C runtime of the child splits it back unchanged.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// Closes the handle when it goes out of scope.
struct Handle {
  HANDLE value = nullptr;
  ~Handle() { reset(); }
  void reset() noexcept {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) {
      ::CloseHandle(value);
    }
    value = nullptr;
  }
};

}  // namespace

ProcessOutcome runProcess(const std::vector<std::string>& argv) {
  ProcessOutcome outcome;
  if (argv.empty()) {
    return outcome;
  }
  std::wstring commandLine;
  for (const auto& arg : argv) {
    if (!commandLine.empty()) {
      commandLine += L' ';
    }
    appendQuoted(commandLine, wideFromUtf8(arg));
  }

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle readEnd;
  Handle writeEnd;
  if (!::CreatePipe(&readEnd.value, &writeEnd.value, &inheritable, 0) ||
      !::SetHandleInformation(readEnd.value, HANDLE_FLAG_INHERIT, 0)) {
    return outcome;
  }
  Handle nul;
  nul.value = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                            OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = writeEnd.value;
  startup.hStdError = nul.value;
  PROCESS_INFORMATION process{};
  // No console window: the program usually runs from the tray.
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
    return outcome;
  }
  Handle processHandle{process.hProcess};
  Handle threadHandle{process.hThread};
  writeEnd.reset();
  nul.reset();

  char buffer[4096];
  DWORD count = 0;
  while (::ReadFile(readEnd.value, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    outcome.standardOutput.append(buffer, count);
  }
  ::WaitForSingleObject(processHandle.value, INFINITE);
  DWORD exitCode = 1;
  ::GetExitCodeProcess(processHandle.value, &exitCode);
  outcome.started = true;
  outcome.exitStatus = static_cast<int>(exitCode);
  return outcome;
}

}  // namespace veltrano
