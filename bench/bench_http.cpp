// Measures the HTTP side of the real executable on loopback: time from process start to the
// first 200 from /whoami, requests per second and latency percentiles of /api/get/status and
// /api/get/overview with 16 keep-alive connections (wrk), and resident memory after start and
// after each batch of requests.
//
//   bench_http [seconds per wrk run, default 10]
//
// Needs wrk on the search path; runs the executable built beside this program.

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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

pid_t spawn(std::vector<std::string> arguments, const std::map<std::string, std::string>& extra,
            const fs::path& output) {
  std::map<std::string, std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    auto equals = text.find('=');
    environment[text.substr(0, equals)] = text.substr(equals + 1);
  }
  environment.erase("FLASK_DEBUG");
  for (const auto& [name, value] : extra)
    environment[name] = value;
  std::vector<std::string> variables;
  for (const auto& [name, value] : environment)
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
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw std::runtime_error("cannot start " + arguments[0]);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Kibibytes of resident memory of a process.
long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stol(line.substr(6));
  }
  return -1;
}

// The program in release mode over a fresh home and a small bundle.
class Program {
 public:
  Program(const fs::path& binary, const fs::path& work, int port) : port_(port) {
    fs::path bundle = work / "bundle";
    if (!fs::exists(bundle / "assets")) {
      fs::create_directories(bundle / "web-ui" / "dist");
      fs::copy(fs::path(VELTRANO_SOURCE_DIR) / "assets", bundle / "assets",
               fs::copy_options::recursive);
      std::ofstream(bundle / "web-ui" / "dist" / "index.html") << "<!doctype html>";
    }
    fs::path home = work / ("home-" + std::to_string(port));
    fs::create_directories(home);
    started_ = Clock::now();
    pid_ = spawn({binary.string(), "--port", std::to_string(port)},
                 {{"HOME", home.string()},
                  {"VELTRANO_BUNDLE", bundle.string()},
                  {"VELTRANO_SERVICE_URL", "http://127.0.0.1:9"}},
                 work / ("output-" + std::to_string(port) + ".log"));
  }
  ~Program() {
    ::kill(pid_, SIGTERM);
    waitFor(pid_);
  }

  // Time from the start of the process to the first 200 from /whoami.
  std::chrono::microseconds untilServing() {
    while (true) {
      httplib::Client client("127.0.0.1", port_);
      client.set_connection_timeout(0, 100000);
      if (auto result = client.Get("/whoami"); result && result->status == 200) {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started_);
      }
      if (Clock::now() - started_ > std::chrono::seconds(10)) {
        throw std::runtime_error("the program did not start");
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

  pid_t pid() const { return pid_; }
  int port() const { return port_; }

 private:
  int port_;
  pid_t pid_ = 0;
  Clock::time_point started_;
};

struct WrkResult {
  long requests = 0;
  double perSecond = 0;
  std::map<std::string, std::string> percentiles;
  std::string raw;
};

WrkResult runWrk(const fs::path& work, int port, const std::string& path, int seconds) {
  fs::path output = work / "wrk.log";
  pid_t pid = spawn({"wrk", "-t2", "-c16", "-d" + std::to_string(seconds) + "s", "--latency",
                     "http://127.0.0.1:" + std::to_string(port) + path},
                    {}, output);
  if (waitFor(pid) != 0)
    throw std::runtime_error("wrk failed: " + readFile(output));
  WrkResult result;
  result.raw = readFile(output);
  std::smatch match;
  if (std::regex_search(result.raw, match, std::regex(R"((\d+) requests in)"))) {
    result.requests = std::stol(match[1]);
  }
  if (std::regex_search(result.raw, match, std::regex(R"(Requests/sec:\s+([\d.]+))"))) {
    result.perSecond = std::stod(match[1]);
  }
  for (const char* p : {"50%", "90%", "99%"}) {
    if (std::regex_search(result.raw, match, std::regex(std::string(p) + R"(\s+([\d.]+\w+))"))) {
      result.percentiles[p] = match[1];
    }
  }
  if (result.raw.find("Non-2xx") != std::string::npos) {
    throw std::runtime_error("errors during the run: " + result.raw);
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  fs::path binary = fs::canonical("/proc/self/exe").parent_path().parent_path() / "veltrano-player";
  fs::path work = fs::temp_directory_path() / ("bench-http-" + std::to_string(::getpid()));
  fs::create_directories(work);
  try {
    std::vector<double> startMs;
    for (int i = 0; i < 10; ++i) {
      Program program(binary, work, freePort());
      startMs.push_back(program.untilServing().count() / 1000.0);
    }
    std::sort(startMs.begin(), startMs.end());
    std::printf("start to first /whoami 200: median %.1f ms, max %.1f ms (10 starts)\n",
                startMs[startMs.size() / 2], startMs.back());

    Program program(binary, work, freePort());
    program.untilServing();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::printf("resident memory after start: %.1f MiB\n", residentKiB(program.pid()) / 1024.0);

    long total = 0;
    for (const char* path : {"/api/get/status", "/api/get/overview", "/api/get/overview"}) {
      WrkResult result = runWrk(work, program.port(), path, seconds);
      total += result.requests;
      std::printf(
          "%-18s 16 connections: %.0f req/s, latency p50 %s, p90 %s, p99 %s (%ld requests)\n", path,
          result.perSecond, result.percentiles["50%"].c_str(), result.percentiles["90%"].c_str(),
          result.percentiles["99%"].c_str(), result.requests);
      std::printf("resident memory after %ld requests: %.1f MiB\n", total,
                  residentKiB(program.pid()) / 1024.0);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_http: %s\n", e.what());
    fs::remove_all(work);
    return 1;
  }
  fs::remove_all(work);
  return 0;
}
