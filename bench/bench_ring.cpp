// How close to its second a bell sounds, end to end through the real executable, while 200
// clients poll /api/get/status:
//  (a) the player's start: bells in consecutive seconds, played by a stand-in for mpg123 and
//      aplay (this program under their names) that notes when it gets its file;
//  (b) the first audio frame: the real mpg123 and aplay playing MP3 and WAVE bells into an ALSA
//      file device whose FIFO this program reads, noting the first write after each second.
//
//   bench_ring [bells of part (a), default 200] [bells of part (b), default 40] [clients, 200]
//   (BENCH_RING_KEEP=1 keeps each part's directory: the player's log and its sound log)

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
int pollerCount = 200;
using namespace std::chrono_literals;
using SystemClock = std::chrono::system_clock;
using Millis = std::chrono::duration<double, std::milli>;

double nowEpochNs() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// The stand-in player: notes, as "<epoch ns> <program> <ready|fresh>", when its sound would
// begin (the first bytes of a file handed in on standard input, or its own start when named a
// file), then takes in the rest and ends.
int fakePlayer(int argc, char** argv) {
  const double startedAt = nowEpochNs();
  const std::string program = fs::path(argv[0]).filename().string();
  const bool fromInput = std::string(argv[argc - 1]) == "-";
  char buffer[65536];
  ssize_t got = fromInput ? read(STDIN_FILENO, buffer, sizeof buffer) : 0;
  const double soundAt = fromInput ? nowEpochNs() : startedAt;
  if (fromInput && got <= 0)
    return 0;  // readied but never used
  char line[128];
  const int length = std::snprintf(line, sizeof line, "%.0f %s %s\n", soundAt, program.c_str(),
                                   fromInput ? "ready" : "fresh");
  const int log = open(std::getenv("BENCH_PLAYER_LOG"), O_WRONLY | O_APPEND | O_CREAT, 0600);
  (void)!write(log, line, static_cast<std::size_t>(length));
  close(log);
  while (fromInput && read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
  return 0;
}

// A free port below the range the system hands out to outgoing connections: the clients'
// hundreds of connections of the part before must not take it between here and the start.
int freePort() {
  for (int port = 20000 + ::getpid() % 10000; port < 32768; port += 7) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    if (free)
      return port;
  }
  throw std::runtime_error("no free port");
}

// The executable with its own home and bundle; `bin` first on the search path.
pid_t startPlayer(const fs::path& work, const fs::path& bin, int port,
                  const std::map<std::string, std::string>& extra) {
  const fs::path binary =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "veltrano-player";
  const fs::path bundle = work / "bundle";
  fs::create_directories(bundle / "web-ui" / "dist");
  fs::copy(fs::path(VELTRANO_SOURCE_DIR) / "assets", bundle / "assets",
           fs::copy_options::recursive | fs::copy_options::skip_existing);
  std::ofstream(bundle / "web-ui" / "dist" / "index.html") << "<!doctype html>";
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
  for (const auto& [name, value] : extra)
    environment[name] = value;
  fs::create_directories(work / "home");
  std::vector<std::string> variables;
  for (const auto& [name, value] : environment)
    variables.push_back(name + "=" + value);
  std::vector<std::string> arguments{binary.string(), "--port", std::to_string(port),
                                     "--audio-device=default", "--no-popup"};
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
  const std::string log = (work / "player.log").string();
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
    throw std::runtime_error("cannot start " + binary.string());
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// 200 clients on keep-alive connections, each asking for the status again 250 ms after its
// answer, in one epoll loop on their own thread.
class Pollers {
 public:
  Pollers(int port, int count) : port_(port), epoll_(::epoll_create1(0)) {
    for (int i = 0; i < count; ++i)
      open(i);
    thread_ = std::thread([this] { run(); });
  }
  ~Pollers() {
    stop_ = true;
    thread_.join();
    for (const auto& [fd, next] : clients_)
      ::close(fd);
    ::close(epoll_);
  }
  long answers() const { return answers_; }

 private:
  void open(int i) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    // From ten addresses, as ten classrooms' screens: one address may hold only so many.
    sockaddr_in source{};
    source.sin_family = AF_INET;
    const std::string from = "127.0.3." + std::to_string(1 + i % 10);
    ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof(source));
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(static_cast<std::uint16_t>(port_));
    ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof(server));
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = static_cast<std::uint64_t>(i);
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
    if (static_cast<std::size_t>(i) < clients_.size())
      clients_[static_cast<std::size_t>(i)] = {fd, std::chrono::steady_clock::now()};
    else
      clients_.push_back({fd, std::chrono::steady_clock::now()});
  }
  void run() {
    const std::string poll =
        "GET /api/get/status HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n\r\n";
    std::vector<epoll_event> events(256);
    char buffer[65536];
    while (!stop_) {
      int ready = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 10);
      for (int e = 0; e < ready; ++e) {
        auto i = static_cast<int>(events[static_cast<std::size_t>(e)].data.u64);
        auto& [fd, next] = clients_[static_cast<std::size_t>(i)];
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN)) {
          ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
          ::close(fd);
          open(i);
        } else if (got > 0 &&
                   std::string_view(buffer, static_cast<std::size_t>(got)).find("HTTP/1.1 200") !=
                       std::string_view::npos) {
          ++answers_;
          next = std::chrono::steady_clock::now() + 250ms;
        }
      }
      const auto now = std::chrono::steady_clock::now();
      for (auto& [fd, next] : clients_) {
        if (now < next)
          continue;
        ::send(fd, poll.data(), poll.size(), MSG_NOSIGNAL);
        next = now + 10s;  // until its answer comes
      }
    }
  }

  int port_;
  int epoll_;
  std::vector<std::pair<int, std::chrono::steady_clock::time_point>> clients_;
  std::atomic<long> answers_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string twoDigits(int value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string timeOfDay(std::time_t at) {
  std::tm local{};
  localtime_r(&at, &local);
  return twoDigits(local.tm_hour) + ":" + twoDigits(local.tm_min) + ":" + twoDigits(local.tm_sec);
}

void writeToneWave(const fs::path& path, int frames) {
  const std::uint32_t dataSize = static_cast<std::uint32_t>(frames) * 4;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out << "RIFF";
  u32(36 + dataSize);
  out << "WAVEfmt ";
  u32(16);
  u16(1);
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  out << "data";
  u32(dataSize);
  for (int i = 0; i < frames; ++i) {
    auto s = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / 44100));
    out.write(reinterpret_cast<const char*>(&s), 2);
    out.write(reinterpret_cast<const char*>(&s), 2);
  }
}

// Sets the bells: from `first`, every `spacing` seconds, `count` of them, MP3 and WAVE in turn.
// Answers the epoch second each is due in and whether it is the MP3.
std::vector<std::pair<std::time_t, bool>> programmeBells(httplib::Client& client,
                                                         const fs::path& wave, std::time_t first,
                                                         int count, int spacing) {
  std::ifstream in(wave, std::ios::binary);
  std::string audio((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto uploaded =
      client.Post("/upload", httplib::MultipartFormDataItems{{"file", audio, "tone.wav", ""}});
  if (!uploaded || uploaded->status != 200)
    throw std::runtime_error("cannot upload the WAVE signal");
  const std::string waveId = nlohmann::json::parse(uploaded->body).get<std::string>();
  auto settings =
      client.Post("/db/settings/update", R"({"calendar":{"workdayMode":7}})", "application/json");
  if (!settings || settings->status != 200)
    throw std::runtime_error("cannot set every day a working day: " +
                             (settings ? settings->body : std::string("no answer")));
  auto tables = client.Get("/db/timetables");
  if (!tables || tables->status != 200)
    throw std::runtime_error("cannot read the timetables");
  const std::string id = "ID_factory_default_timetable";
  nlohmann::json table;
  for (const auto& row : nlohmann::json::parse(tables->body)) {
    if (row.value("id", "") == id)
      table = row;
  }
  if (table.is_null())
    throw std::runtime_error("no default timetable");
  table.erase("id");
  nlohmann::json mp3 = {{"desc", {{"id", "ID_ping"}}}, {"slots", nlohmann::json::array()}};
  nlohmann::json wav = {{"desc", {{"id", waveId}}}, {"slots", nlohmann::json::array()}};
  std::vector<std::pair<std::time_t, bool>> due;
  for (int i = 0; i < count; ++i) {
    const std::time_t at = first + static_cast<std::time_t>(i) * spacing;
    (i % 2 == 0 ? mp3 : wav)["slots"].push_back(timeOfDay(at));
    due.emplace_back(at, i % 2 == 0);
  }
  table["customPlays"] = {mp3, wav};
  table["chA"]["lessons"] = nlohmann::json::array();
  table["chB"]["lessons"] = nlohmann::json::array();
  auto updated = client.Post("/db/timetables/update/" + id, table.dump(), "application/json");
  if (!updated || updated->status != 200)
    throw std::runtime_error("cannot set the bells: " +
                             (updated ? updated->body : std::string("no answer")));
  return due;
}

struct Stats {
  double median = -1;
  double p90 = -1;
  double p99 = -1;
  double max = -1;
};

Stats statsOf(std::vector<double> values) {
  Stats s;
  if (values.empty())
    return s;
  std::sort(values.begin(), values.end());
  auto at = [&](double q) {
    return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
  };
  return {at(0.5), at(0.9), at(0.99), values.back()};
}

void print(const char* what, const std::vector<double>& ms, std::size_t expected) {
  const Stats s = statsOf(ms);
  std::printf("    %-34s %3zu of %3zu: median %6.2f ms, p90 %6.2f ms, p99 %6.2f ms, max %6.2f ms\n",
              what, ms.size(), expected, s.median, s.p90, s.p99, s.max);
}

// For each due second, the first moment in `moments` (epoch ns) within the second after it.
std::vector<double> latenessOf(const std::vector<std::pair<std::time_t, bool>>& due,
                               const std::vector<double>& moments, bool mp3) {
  std::vector<double> late;
  for (const auto& [second, isMp3] : due) {
    if (isMp3 != mp3)
      continue;
    const double begin = static_cast<double>(second) * 1e9;
    double first = -1;
    for (double moment : moments) {
      if (moment >= begin - 100e6 && moment < begin + 900e6 && (first < 0 || moment < first))
        first = moment;
    }
    if (first >= 0)
      late.push_back((first - begin) / 1e6);
  }
  return late;
}

// The lateness the sound log gives the bells: when their player's start returned.
std::vector<double> loggedLateness(httplib::Client& client) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string date = std::to_string(local.tm_year + 1900) + "-" +
                           twoDigits(local.tm_mon + 1) + "-" + twoDigits(local.tm_mday);
  std::vector<double> late;
  auto history = client.Get("/api/get/history?date=" + date);
  if (!history || history->status != 200) {
    std::fprintf(stderr, "the sound log could not be read: %d %s\n", history ? history->status : -1,
                 history ? history->body.c_str() : "");
    return late;
  }
  for (const auto& entry : nlohmann::json::parse(history->body)) {
    if (entry.value("outcome", "") == "started" && entry.contains("lateMs"))
      late.push_back(entry["lateMs"].get<double>());
  }
  return late;
}

struct Run {
  fs::path work;
  int port = freePort();
  pid_t pid = -1;

  explicit Run(const std::string& name)
      : work(fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    fs::create_directories(work);
  }
  ~Run() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    if (std::getenv("BENCH_RING_KEEP"))
      std::printf("    kept: %s\n", work.c_str());
    else
      fs::remove_all(work);
  }
  httplib::Client client() const {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(0, 200000);
    client.set_read_timeout(10, 0);
    return client;
  }
  struct Rung {
    std::vector<std::pair<std::time_t, bool>> due;
    long answers = 0;
  };
  // Once the started player serves: sets `count` bells `spacing` seconds apart, from six
  // seconds on, and has the clients poll until the last has played.
  Rung ringUnderLoad(httplib::Client& client, int count, int spacing) const {
    waitUntilServing();
    writeToneWave(work / "tone.wav", 22050);
    Rung rung;
    rung.due = programmeBells(client, work / "tone.wav", std::time(nullptr) + 6, count, spacing);
    Pollers pollers(port, pollerCount);
    std::this_thread::sleep_until(SystemClock::from_time_t(rung.due.back().first + spacing + 1));
    rung.answers = pollers.answers();
    return rung;
  }
  void waitUntilServing() const {
    auto c = client();
    for (int i = 0; !c.Get("/whoami"); ++i) {
      if (i > 200)
        throw std::runtime_error("the player did not start");
      std::this_thread::sleep_for(50ms);
    }
  }
};

void benchStarts(int bells) {
  Run run("bench-ring-start");
  const fs::path bin = run.work / "bin";
  fs::create_directories(bin);
  for (const char* name : {"mpg123", "aplay"})
    fs::create_symlink(fs::canonical("/proc/self/exe"), bin / name);
  const fs::path log = run.work / "starts.log";
  run.pid = startPlayer(run.work, bin, run.port, {{"BENCH_PLAYER_LOG", log.string()}});
  auto client = run.client();
  const auto [due, answers] = run.ringUnderLoad(client, bells, 1);

  std::vector<double> moments;
  std::size_t fresh = 0;
  std::ifstream in(log);
  double at = 0;
  std::string program, how;
  while (in >> at >> program >> how) {
    moments.push_back(at);
    fresh += how == "fresh";
  }
  std::printf(
      "(a) player's start after its second, %d bells in consecutive seconds, %d "
      "clients polling the status (%ld answers):\n",
      bells, pollerCount, answers);
  auto mp3 = latenessOf(due, moments, true);
  auto wav = latenessOf(due, moments, false);
  std::vector<double> all = mp3;
  all.insert(all.end(), wav.begin(), wav.end());
  print("stand-in player got its file", all, due.size());
  print("sound log: player's start returned", loggedLateness(client), due.size());
  std::printf("    started fresh rather than by a ready player: %zu\n", fresh);
}

void benchFirstFrame(int bells) {
  Run run("bench-ring-audio");
  const fs::path fifo = run.work / "device.fifo";
  ::mkfifo(fifo.c_str(), 0600);
  fs::create_directories(run.work / "home");
  std::ofstream(run.work / "home" / ".asoundrc")
      << "pcm.!default { type file; slave.pcm \"null\"; file \"" << fifo.string()
      << "\"; format \"raw\" }\n";
  // Every open of the device by a player, and the moment its first samples arrived.
  std::mutex mutex;
  std::vector<double> firstWrites;
  std::atomic<bool> stop{false};
  std::jthread device([&] {
    char buffer[65536];
    while (!stop) {
      const int fd = ::open(fifo.c_str(), O_RDONLY);
      bool first = true;
      for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        if (first) {
          std::lock_guard lock(mutex);
          firstWrites.push_back(nowEpochNs());
          first = false;
        }
      }
      ::close(fd);
    }
  });
  // However the run ends, the device's reader is let go and joined.
  auto endDevice = [&] {
    stop = true;
    if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
      ::close(fd);
    if (device.joinable())
      device.join();
  };
  Run::Rung rung;
  try {
    run.pid = startPlayer(run.work, run.work / "no-bin", run.port, {});
    auto client = run.client();
    rung = run.ringUnderLoad(client, bells, 2);
  } catch (...) {
    endDevice();
    throw;
  }
  endDevice();
  const auto& [due, answers] = rung;
  auto client = run.client();
  std::lock_guard lock(mutex);
  std::printf(
      "(b) first audio frame written to the ALSA file device after its second, real "
      "mpg123 and aplay, %d clients polling (%ld answers):\n",
      pollerCount, answers);
  print("MP3 (mpg123 -o alsa)", latenessOf(due, firstWrites, true), due.size() / 2);
  print("WAVE (aplay)", latenessOf(due, firstWrites, false), due.size() - due.size() / 2);
  print("sound log: player's start returned", loggedLateness(client), due.size());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = fs::path(argv[0]).filename().string();
  if (name == "mpg123" || name == "aplay")
    return fakePlayer(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each part's figures, even if a later one fails
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  const int startBells = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;
  const int audioBells = argc > 2 ? std::max(2, std::atoi(argv[2])) : 40;
  if (argc > 3)
    pollerCount = std::max(0, std::atoi(argv[3]));
  try {
    benchStarts(startBells);
    benchFirstFrame(audioBells);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_ring: %s\n", e.what());
    return 1;
  }
  return 0;
}
