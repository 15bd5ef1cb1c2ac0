#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace veltrano::test {

struct ChildProcess {
  pid_t pid;
  char state;  // 'Z' for a zombie waiting to be reaped
  std::string name;
};

// The children of this process as the kernel lists them, zombies included.
inline std::vector<ChildProcess> childProcesses() {
  std::vector<ChildProcess> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) {
      continue;
    }
    // pid (name) state ppid ...; the name may itself hold spaces and parentheses.
    auto open = line.find('(');
    auto close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 > line.size()) {
      continue;
    }
    char state = line[close + 2];
    pid_t parent = static_cast<pid_t>(std::stol(line.substr(close + 4)));
    if (parent == getpid()) {
      children.push_back({static_cast<pid_t>(std::stol(line.substr(0, open))), state,
                          line.substr(open + 1, close - open - 1)});
    }
  }
  return children;
}

}  // namespace veltrano::test
