// What a large database costs: builds one of MAX_TIMETABLES timetables (and 1,000 calendar
// events) in a temporary directory, then in a fresh process loads "_db.json" as the player does
// at start-up, produces the answer of GET /db (the database as JSON text) and reports both
// times and the peak memory against the file's size. Then the hostile request bodies: a body
// of 100,000 object members and one of "[{},{},...]", parsed with the request limits.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/Json.hpp"
#include "foundation/JsonLimits.hpp"
#include "foundation/StorageWrapper.hpp"
#include "storage/Database.hpp"

extern char** environ;

namespace {

using namespace veltrano;
using Seconds = std::chrono::duration<double>;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds of the process: on a busy machine the wall clock says more about the others.
double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The process's peak resident memory in bytes.
long long peakMemory() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with("VmHWM:"))
      return std::stoll(line.substr(6)) * 1024;
  }
  return 0;
}

DB largeDatabase() {
  DB db;
  db.loadFactoryDefault();
  db.ensureFactorySongsAvailable();
  for (std::size_t i = 0; i < MAX_TIMETABLES - 1; ++i) {
    TimeTable timetable;
    timetable.name = "Timetable " + std::to_string(i);
    for (int channel : {0, 1}) {
      SignalTable& signals = timetable.chAt(channel);
      signals.lessons.clear();
      for (int hour = 7; hour < 17; ++hour)
        signals.lessons.push_back(Lesson::fromHour(hour));
      signals.startOfClass.id = "ID_melody";
      signals.endOfClass.id = "ID_ping";
      signals.preStart.doRepeat = true;
    }
    UserPlay play;
    play.desc.id = "ID_bigben";
    play.slots = {TimeOfDay{12, 0, 0}, TimeOfDay{12, 30, 0}, TimeOfDay{18, 0, 0}};
    timetable.customPlays.push_back(play);
    db.timetables.add(std::move(timetable));
  }
  for (int i = 0; i < 1000; ++i) {
    db.settings.calendar.singleEvents.push_back(SingleCalendarEvent::fromUserInput(
        FACTORY_DEFAULT_TIMETABLE_ID, "2026-01-05", "2026-01-09"));
  }
  return db;
}

// Runs in its own process, so that the peak memory is that of the load and the answer only.
int measure(const std::filesystem::path& file) {
  const auto size = static_cast<double>(std::filesystem::file_size(file));
  auto start = std::chrono::steady_clock::now();
  double cpuStart = cpuSeconds();
  StorageWrapper<DB> store;
  if (!store.load(file)) {
    std::fprintf(stderr, "the database did not load\n");
    return 1;
  }
  const double load = secondsSince(start), loadCpu = cpuSeconds() - cpuStart;
  start = std::chrono::steady_clock::now();
  cpuStart = cpuSeconds();
  const std::string answer = dumpReplacingInvalidUtf8(toDict(store.record()));  // GET /db
  const double answering = secondsSince(start), answeringCpu = cpuSeconds() - cpuStart;
  const auto peak = static_cast<double>(peakMemory());
  std::printf("timetables:         %zu (file %.1f MB, answer %.1f MB)\n", store->timetables.size(),
              size / 1e6, static_cast<double>(answer.size()) / 1e6);
  std::printf("load:               %.0f ms, %.0f ms CPU (target < 2000)\n", load * 1000,
              loadCpu * 1000);
  std::printf("GET /db answer:     %.0f ms, %.0f ms CPU (target < 500)\n", answering * 1000,
              answeringCpu * 1000);
  std::printf("peak memory:        %.0f MB = %.1f x the file (target < 20)\n", peak / 1e6,
              peak / size);
  return 0;
}

void hostileBodies() {
  std::string members = "{";
  for (int i = 0; i < 100'000; ++i)
    members += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
  members += "}";
  auto start = std::chrono::steady_clock::now();
  Json parsed = parseJson(members);
  std::printf("100,000 members:    %.0f ms (%zu kept)\n", secondsSince(start) * 1000,
              parsed.size());

  std::string wide = "[";
  for (int i = 0; i < 34'000'000; ++i)
    wide += i ? ",{}" : "{}";
  wide += "]";
  // A larger body limit than the request default's, so that the count of values stops it.
  JsonLimits limits = REQUEST_JSON_LIMITS;
  limits.maxBytes = wide.size();
  start = std::chrono::steady_clock::now();
  try {
    parseJson(wide, limits);
    std::printf("[{},{},...]:        accepted?\n");
  } catch (const JsonInputError& e) {
    std::printf("[{},{},...] %.0f MB: refused in %.0f ms (%s)\n",
                static_cast<double>(wide.size()) / 1e6, secondsSince(start) * 1000, e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--measure") == 0)
    return measure(argv[2]);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("veltrano-store-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "_db.json";
  std::ofstream(file, std::ios::binary) << toJson(largeDatabase());

  std::string self = argv[0], option = "--measure", path = file.string();
  std::vector<char*> args = {self.data(), option.data(), path.data(), nullptr};
  pid_t pid = 0;
  int status = 1;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, args.data(), environ) == 0)
    waitpid(pid, &status, 0);
  std::filesystem::remove_all(dir);
  hostileBodies();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
