#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "http/TestBundle.hpp"

extern char** environ;

namespace veltrano::test {

// A port that was free a moment ago on every address, as the player takes it.
inline int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t length = sizeof(address);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("no free port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

// Stand-ins for mpg123, aplay and xdg-open that append "<program> <arguments>" to a log file
// and end at once.
inline std::filesystem::path writeFakePrograms(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  for (const char* name : {"mpg123", "aplay", "xdg-open"}) {
    auto path = dir / name;
    writeTextFile(path, "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> \"$FAKE_PLAYER_LOG\"\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  }
  return dir;
}

// The real executable (or another build of it) in release mode with its own home and bundle,
// fake players first on the search path, and its output collected in a file. Ended with
// SIGTERM when it goes.
class PlayerProcess {
 public:
  PlayerProcess(const TestBundle& bundle, int port, const std::string& serviceUrl,
                std::vector<std::string> extraArguments = {},
                std::map<std::string, std::string> extraEnvironment = {},
                const std::filesystem::path& binary = VELTRANO_PLAYER_BINARY)
      : port_(port),
        output_(bundle.root /
                ("output-" + std::to_string(port) + "-" + std::to_string(++counter()) + ".log")),
        playerLog_(bundle.root / "players.log") {
    auto bin = writeFakePrograms(bundle.root / "bin");
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
      std::string text = *entry;
      auto equals = text.find('=');
      environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    environment.erase("FLASK_DEBUG");
    environment["HOME"] = bundle.home.string();
    environment["VELTRANO_BUNDLE"] = bundle.bundle.string();
    environment["VELTRANO_SERVICE_URL"] = serviceUrl;
    environment["PATH"] = bin.string() + ":" + environment["PATH"];
    environment["FAKE_PLAYER_LOG"] = playerLog_.string();
    for (auto& [name, value] : extraEnvironment)
      environment[name] = value;

    // A test that passes its own "--port" gets only that one.
    std::vector<std::string> arguments{binary.string()};
    if (std::find(extraArguments.begin(), extraArguments.end(), "--port") == extraArguments.end()) {
      arguments.insert(arguments.end(), {"--port", std::to_string(port)});
    }
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    std::vector<std::string> variables;
    for (auto& [name, value] : environment)
      variables.push_back(name + "=" + value);

    std::vector<char*> argv;
    for (auto& argument : arguments)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& variable : variables)
      envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
      throw std::runtime_error("cannot start " + arguments[0]);
  }

  ~PlayerProcess() {
    if (status_)
      return;
    ::kill(pid_, SIGTERM);
    if (!waitForExit(std::chrono::seconds(10))) {
      ::kill(pid_, SIGKILL);
      waitForExit(std::chrono::seconds(10));
    }
  }
  PlayerProcess(const PlayerProcess&) = delete;
  PlayerProcess& operator=(const PlayerProcess&) = delete;

  // True once /whoami answers; false when the process ended first or after the time-out.
  bool waitUntilServing(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (hasExited())
        return false;
      httplib::Client client("127.0.0.1", port_);
      client.set_connection_timeout(0, 200000);
      if (auto result = client.Get("/whoami"); result && result->status == 200)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // The exit status (128 + signal for a killed process), or nullopt on time-out.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!hasExited()) {
      if (std::chrono::steady_clock::now() >= deadline)
        return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
  }

  void terminate() { ::kill(pid_, SIGTERM); }
  // As a power cut or the OOM killer would: no handler runs.
  void killHard() { ::kill(pid_, SIGKILL); }

  std::string output() const { return readTextFile(output_); }
  std::string playerLog() const { return readTextFile(playerLog_); }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

 private:
  static int& counter() {
    static int count = 0;
    return count;
  }

  bool hasExited() {
    if (status_)
      return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_)
      return false;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  int port_;
  std::filesystem::path output_;
  std::filesystem::path playerLog_;
  pid_t pid_ = 0;
  std::optional<int> status_;
};

}  // namespace veltrano::test
