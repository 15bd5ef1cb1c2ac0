// Measures the real executable under the load of a hostile school network, on loopback:
// 1,000 connections that open and then say nothing, 100 that trickle a body at one byte every
// 4 s from 4 addresses, and 200 clients polling /api/get/status, while a dashboard probe from
// a fifth address asks for the status every 100 ms and a programmed bell is due. Reports the
// probe's latency percentiles, the bell's lateness from the sound log, the CPU a login body of
// 1 MB of keys costs, and the resident memory while 48 clients send 100 MB bodies at once.
//
//   bench_edge [seconds of load before the bell, default 30]
//
// Runs the executable built beside this program, with a fake mpg123 on the search path.

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

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

pid_t spawnPlayer(const fs::path& binary, const fs::path& work, int port) {
  fs::path bundle = work / "bundle";
  fs::create_directories(bundle / "web-ui" / "dist");
  fs::copy(fs::path(VELTRANO_SOURCE_DIR) / "assets", bundle / "assets",
           fs::copy_options::recursive | fs::copy_options::skip_existing);
  std::ofstream(bundle / "web-ui" / "dist" / "index.html") << "<!doctype html>";
  fs::path bin = work / "bin";
  fs::create_directories(bin);
  for (const char* name : {"mpg123", "aplay"}) {
    std::ofstream(bin / name) << "#!/bin/sh\nexit 0\n";
    fs::permissions(bin / name, fs::perms::owner_all);
  }
  std::map<std::string, std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    auto equals = text.find('=');
    environment[text.substr(0, equals)] = text.substr(equals + 1);
  }
  environment["HOME"] = (work / "home").string();
  environment["VELTRANO_BUNDLE"] = bundle.string();
  environment["VELTRANO_SERVICE_URL"] = "http://127.0.0.1:9";
  environment["PATH"] = bin.string() + ":" + environment["PATH"];
  fs::create_directories(work / "home");
  std::vector<std::string> variables;
  for (const auto& [name, value] : environment)
    variables.push_back(name + "=" + value);
  std::vector<std::string> arguments{binary.string(), "--port", std::to_string(port)};
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
  std::string log = (work / "player.log").string();
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
    throw std::runtime_error("cannot start " + binary.string());
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stol(line.substr(6));
  }
  return -1;
}

// User and system CPU time of a process so far.
std::chrono::milliseconds cpuTime(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14 || i == 15)
      ticks += std::stol(field);
  }
  return std::chrono::milliseconds(ticks * 1000 / sysconf(_SC_CLK_TCK));
}

// A non-blocking connection from a chosen loopback address.
int connectFrom(const std::string& from, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in source{};
  source.sin_family = AF_INET;
  ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
  ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof(source));
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  server.sin_port = htons(static_cast<std::uint16_t>(port));
  ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof(server));
  return fd;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty())
    return -1;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

enum class Role { IDLE, TRICKLE, POLLER };

struct Client {
  Role role;
  std::string address;
  int fd = -1;
  Clock::time_point next;  // when it next sends
  std::size_t answers = 0;
};

// Every hostile and busy client in one epoll loop, reconnecting whatever the server closes.
class Crowd {
 public:
  explicit Crowd(int port) : port_(port), epoll_(::epoll_create1(0)) {
    for (int i = 0; i < 1000; ++i)
      clients_.push_back(
          Client{Role::IDLE, "127.0.1." + std::to_string(1 + i % 40), -1, Clock::now(), 0});
    for (int i = 0; i < 100; ++i)
      clients_.push_back(
          Client{Role::TRICKLE, "127.0.2." + std::to_string(1 + i % 4), -1, Clock::now(), 0});
    for (int i = 0; i < 200; ++i)
      clients_.push_back(
          Client{Role::POLLER, "127.0.3." + std::to_string(1 + i % 10), -1, Clock::now(), 0});
    for (std::size_t i = 0; i < clients_.size(); ++i)
      open(i);
  }
  ~Crowd() {
    for (auto& client : clients_)
      ::close(client.fd);
    ::close(epoll_);
  }

  void runFor(std::chrono::milliseconds span) {
    auto end = Clock::now() + span;
    std::vector<epoll_event> events(512);
    char buffer[65536];
    while (Clock::now() < end) {
      int ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 20);
      for (int e = 0; e < ready; ++e) {
        std::size_t i = events[static_cast<std::size_t>(e)].data.u64;
        auto& client = clients_[i];
        auto got = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
          if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            ++reconnects_;
            open(i);
          }
          continue;
        }
        if (client.role == Role::POLLER &&
            std::string_view(buffer, static_cast<std::size_t>(got)).find("HTTP/1.1 200") !=
                std::string_view::npos) {
          ++client.answers;
          ++polls_;
          client.next = Clock::now() + 250ms;
        }
      }
      auto now = Clock::now();
      for (std::size_t i = 0; i < clients_.size(); ++i) {
        auto& client = clients_[i];
        if (client.role == Role::IDLE || now < client.next)
          continue;
        if (client.role == Role::TRICKLE) {
          ::send(client.fd, "x", 1, MSG_NOSIGNAL);
          client.next = now + 4s;
        } else {
          static const std::string POLL = "GET /api/get/status HTTP/1.1\r\nHost: player\r\n\r\n";
          ::send(client.fd, POLL.data(), POLL.size(), MSG_NOSIGNAL);
          client.next = now + 10s;  // until its answer comes
        }
      }
    }
  }

  long polls() const { return polls_; }
  long reconnects() const { return reconnects_; }

 private:
  void open(std::size_t i) {
    auto& client = clients_[i];
    if (client.fd >= 0) {
      ::epoll_ctl(epoll_, EPOLL_CTL_DEL, client.fd, nullptr);
      ::close(client.fd);
    }
    client.fd = connectFrom(client.address, port_);
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = i;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, client.fd, &event);
    client.next = Clock::now() + 50ms;
    if (client.role == Role::TRICKLE) {
      static const std::string HEAD =
          "POST /db/settings/update HTTP/1.1\r\nHost: player\r\nContent-Type: "
          "application/json\r\nContent-Length: 100000\r\n\r\n{";
      ::send(client.fd, HEAD.data(), HEAD.size(), MSG_NOSIGNAL);
      client.next = Clock::now() + 4s;
    }
  }

  int port_;
  int epoll_;
  std::vector<Client> clients_;
  long polls_ = 0;
  long reconnects_ = 0;
};

// The probe: a fresh connection from its own address, one status request, its latency.
double probeMs(int port) {
  auto started = Clock::now();
  int fd = connectFrom("127.0.4.1", port);
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  // The connect may still be in progress; a blocking send waits for it.
  std::string request = "GET /api/get/status HTTP/1.1\r\nHost: player\r\nConnection: close\r\n\r\n";
  for (int tries = 0; tries < 100 && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0;
       ++tries)
    std::this_thread::sleep_for(1ms);
  char buffer[4096];
  std::string answer;
  for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
    answer.append(buffer, static_cast<std::size_t>(got));
  ::close(fd);
  if (answer.rfind("HTTP/1.1 200", 0) != 0)
    return 5000;
  return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
}

// Sends a body of the given size to the path on its own connection, as fast as the server
// takes it, and returns the status line of the answer.
std::string sendBody(int port, const std::string& from, const std::string& path, std::size_t size) {
  int fd = connectFrom(from, port);
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  std::string head = "POST " + path + " HTTP/1.1\r\nHost: player\r\nContent-Type: " +
                     "application/json\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
  for (int tries = 0; tries < 100 && ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) < 0;
       ++tries)
    std::this_thread::sleep_for(1ms);
  std::string chunk(1 << 20, '{');
  for (std::size_t sent = 0; sent < size;) {
    auto n = ::send(fd, chunk.data(), std::min(chunk.size(), size - sent), MSG_NOSIGNAL);
    if (n <= 0)
      break;
    sent += static_cast<std::size_t>(n);
  }
  char buffer[512];
  auto got = ::recv(fd, buffer, sizeof buffer, 0);
  ::close(fd);
  std::string answer(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  return answer.substr(0, answer.find("\r\n"));
}

std::string twoDigits(int value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

int main(int argc, char** argv) {
  int loadSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  fs::path binary = fs::canonical("/proc/self/exe").parent_path().parent_path() / "veltrano-player";
  fs::path work = fs::temp_directory_path() / ("bench-edge-" + std::to_string(::getpid()));
  fs::create_directories(work);
  int port = freePort();
  pid_t pid = spawnPlayer(binary, work, port);
  int status = 0;
  try {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(0, 200000);
    for (int i = 0; !client.Get("/whoami"); ++i) {
      if (i > 200)
        throw std::runtime_error("the player did not start");
      std::this_thread::sleep_for(50ms);
    }

    // A bell programmed for the first whole minute after the load has run a while.
    std::time_t due = std::time(nullptr) + loadSeconds;
    due += 60 - due % 60;
    std::tm local{};
    localtime_r(&due, &local);
    std::string date = std::to_string(local.tm_year + 1900) + "-" + twoDigits(local.tm_mon + 1) +
                       "-" + twoDigits(local.tm_mday);
    std::string time = twoDigits(local.tm_hour) + ":" + twoDigits(local.tm_min);
    std::ifstream signal(fs::path(VELTRANO_SOURCE_DIR) / "assets" / "p-intercom.mp3",
                         std::ios::binary);
    std::string audio((std::istreambuf_iterator<char>(signal)), std::istreambuf_iterator<char>());
    auto programmed = client.Post(
        "/upload", httplib::MultipartFormDataItems{{"file", audio, "bell.mp3", "audio/mpeg"},
                                                   {"programName", "Edge bench bell", "", ""},
                                                   {"date", date, "", ""},
                                                   {"time", time, "", ""}});
    if (!programmed || programmed->status != 200)
      throw std::runtime_error("cannot programme the bell: " +
                               (programmed ? programmed->body : std::string("no answer")));

    // A login of 1 MB of keys: refused from its length, before any parsing.
    std::string keys = "{";
    for (int i = 0; keys.size() < 1000000; ++i)
      keys += "\"k" + std::to_string(i) + "\":0,";
    keys.back() = '}';
    auto before = cpuTime(pid);
    auto login = client.Post("/auth/login", keys, "application/json");
    auto cost = cpuTime(pid) - before;
    std::printf("login body of 1 MB of keys: %d in %lld ms of the player's CPU\n",
                login ? login->status : -1, static_cast<long long>(cost.count()));

    // 48 bodies of 100 MB at once, to the login and, without a password set, to a JSON route.
    long peakKiB = residentKiB(pid);
    for (const char* path : {"/auth/login", "/db/settings/update"}) {
      std::vector<std::thread> senders;
      std::vector<std::string> answers(48);
      for (int i = 0; i < 48; ++i) {
        senders.emplace_back([&, i] {
          answers[static_cast<std::size_t>(i)] =
              sendBody(port, "127.0.5." + std::to_string(1 + i % 8), path, 100u << 20);
        });
      }
      for (int i = 0; i < 20; ++i) {
        peakKiB = std::max(peakKiB, residentKiB(pid));
        std::this_thread::sleep_for(50ms);
      }
      for (auto& sender : senders)
        sender.join();
      peakKiB = std::max(peakKiB, residentKiB(pid));
      std::printf("48 parallel 100 MB bodies to %s: first answer \"%s\"\n", path,
                  answers[0].c_str());
    }
    std::printf("resident memory at most %.1f MiB during them\n", peakKiB / 1024.0);

    Crowd crowd(port);
    std::vector<double> probes;
    auto end = Clock::now() + std::chrono::seconds(due - std::time(nullptr) + 3);
    while (Clock::now() < end) {
      crowd.runFor(100ms);
      probes.push_back(probeMs(port));
    }
    std::printf(
        "under load (1000 idle, 100 trickling, 200 polling; %ld polls answered, %ld "
        "reconnects):\n  probe status p50 %.1f ms, p99 %.1f ms, max %.1f ms over %zu probes\n",
        crowd.polls(), crowd.reconnects(), percentile(probes, 0.5), percentile(probes, 0.99),
        percentile(probes, 1.0), probes.size());
    std::printf("resident memory under load: %.1f MiB\n", residentKiB(pid) / 1024.0);

    auto history = client.Get("/api/get/history?date=" + date);
    bool found = false;
    if (history && history->status == 200) {
      for (const auto& entry : nlohmann::json::parse(history->body)) {
        if (entry.value("source", "") == "programme") {
          std::printf("bell due at %s: %s, %lld ms late\n", time.c_str(),
                      entry.value("outcome", "?").c_str(),
                      static_cast<long long>(entry.value("lateMs", -1)));
          found = true;
        }
      }
    }
    if (!found)
      throw std::runtime_error("the bell left no trace in the sound log");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_edge: %s\n", e.what());
    status = 1;
  }
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  fs::remove_all(work);
  return status;
}
