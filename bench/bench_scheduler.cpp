// (a) What one scheduler round and one processed second cost with a large database, the
// three autosave checks included. (b) How late after the start of a wall-clock second the
// real scheduler thread gets a file player started, with a sound due in every second.
//
//   bench_scheduler [seconds of part (b), default 65]

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/Player.hpp"
#include "audio/SongPlayback.hpp"
#include "domain/Clock.hpp"
#include "foundation/Log.hpp"
#include "foundation/Paths.hpp"
#include "scheduling/Scheduler.hpp"
#include "scheduling/SoundTriggering.hpp"
#include "scheduling/TimetableInfo.hpp"
#include "storage/Stores.hpp"

namespace veltrano {
namespace {

using SystemClock = std::chrono::system_clock;
using SteadyClock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;
using Millis = std::chrono::duration<double, std::milli>;

struct Stats {
  double median = 0;
  double p99 = 0;
  double max = 0;
  double mean = 0;
};

Stats statsOf(std::vector<double> values) {
  Stats s;
  if (values.empty())
    return s;
  std::sort(values.begin(), values.end());
  auto at = [&](double q) {
    return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
  };
  s.median = at(0.5);
  s.p99 = at(0.99);
  s.max = values.back();
  double sum = 0;
  for (double v : values)
    sum += v;
  s.mean = sum / static_cast<double>(values.size());
  return s;
}

// Notes when each player was asked for (on the scheduler thread, in the round) and when it
// started its file (on the playback thread).
class StartRecorder {
 public:
  struct Start {
    SystemClock::time_point requested;
    SystemClock::time_point started;
  };

  FilePlayerFactory factory() {
    return [this]() -> std::unique_ptr<FilePlayer> {
      std::lock_guard lock(mutex_);
      starts_.push_back({SystemClock::now(), {}});
      return std::make_unique<Recorder>(*this, starts_.size() - 1);
    };
  }

  std::vector<Start> starts() {
    std::lock_guard lock(mutex_);
    return starts_;
  }

 private:
  class Recorder final : public FilePlayer {
   public:
    Recorder(StartRecorder& owner, std::size_t index) : owner_(owner), index_(index) {}
    void startPlay(const std::string&) override {
      const auto now = SystemClock::now();
      std::lock_guard lock(owner_.mutex_);
      owner_.starts_[index_].started = now;
    }
    bool isPlaying() override { return false; }
    void closeFile(bool) override {}

   private:
    StartRecorder& owner_;
    std::size_t index_;
  };

  std::mutex mutex_;
  std::vector<Start> starts_;
};

Paths benchPaths(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "bundle" / "assets");
  RuntimeEnvironment env;
  env.release = true;
  env.bundleDir = dir / "bundle";
  env.home = dir / "home";
  return Paths(env);
}

void loadStores(Stores& stores, const Paths& paths) {
  auto access = stores.lock();
  access.dbStore().load(paths.getUserFilePath("_db.json"));
  access.shadowStore().load(paths.getUserFilePath("_shadow.json"));
  access.cacheStore().load(paths.getUserFilePath("cache.json"));
}

// 200 songs, 50 timetables of 12 lessons with custom plays, 500 programmes (none due while
// measured), 50 calendar events and a region with a year of holidays.
void fillLargeDatabase(DB& db, Cache& cache, const Paths& paths) {
  for (int i = 0; i < 200; ++i) {
    AudioAsset song;
    song.name = "song " + std::to_string(i);
    song.filename = "song" + std::to_string(i) + ".mp3";
    song.md5 = std::string(32, 'a');
    db.songs.add(song, "song" + std::to_string(i));
  }
  std::ofstream(paths.getUserFilePath("song0.mp3")) << "x";
  for (int t = 0; t < 50; ++t) {
    TimeTable table;
    table.name = "timetable " + std::to_string(t);
    for (SignalTable* ch : {&table.chA, &table.chB}) {
      ch->lessons.clear();
      for (int l = 0; l < 12; ++l) {
        TimeOfDay start{7 + l, (t + 5 * l) % 15, 0};
        ch->lessons.push_back({start, TimeOfDay::fromSecondsOfDay(start.toSecondsOfDay() + 2700)});
      }
      ch->startOfClass.id = ch->endOfClass.id = "song0";
      ch->preStart.id = ch->preEnd.id = "song1";
    }
    table.customPlays.push_back({PlayDesc{"song2"}, {TimeOfDay{12}, TimeOfDay{12, 30}}});
    db.timetables.add(table, t == 0 ? std::string(FACTORY_DEFAULT_TIMETABLE_ID)
                                    : "timetable" + std::to_string(t));
  }
  for (int p = 0; p < 500; ++p) {
    Programme programme;
    programme.songId = "song" + std::to_string(p % 200);
    programme.date = Date{2030, 1 + p % 12, 1 + p % 28};
    programme.time = TimeOfDay{8 + p % 10, p % 60, 0};
    db.programmes.add(programme);
  }
  for (int e = 0; e < 25; ++e) {
    db.settings.calendar.singleEvents.push_back({"timetable" + std::to_string(e + 1),
                                                 Date{2029, 1 + e % 12, 1},
                                                 Date{2029, 1 + e % 12, 7}, "", ""});
    db.settings.calendar.reoccurringEvents.push_back(
        {"timetable" + std::to_string(e + 1), ReoccurringCalendarEvent::Mode::ODD_WEEK, 0});
  }
  CalendarRegion region;
  region.name = "Hungary";
  for (int d = 0; d < 365; d += 3) {
    const std::string day = Date::fromDayNumber(Date{2026, 1, 1}.toDayNumber() + d).asString();
    (d % 2 ? region.holidays : region.schoolBreaks).push_back(day);
  }
  cache.calendarRegions.add(region, "hu");
  for (int r = 0; r < 20; ++r)
    cache.calendarRegions.add(region, "region" + std::to_string(r));
}

template <class Body>
double timePerCall(int calls, const Body& body) {
  const auto begin = SteadyClock::now();
  for (int i = 0; i < calls; ++i)
    body(i);
  return Micros(SteadyClock::now() - begin).count() / calls;
}

void benchRoundCost(const std::filesystem::path& dir) {
  Paths paths = benchPaths(dir / "a");
  Stores stores;
  loadStores(stores, paths);
  {
    auto access = stores.lock();
    fillLargeDatabase(access.db(), access.cache(), paths);
  }
  // A Wednesday working day at 06:00: the timetable is looked up, no sound is due.
  long long second = 0;
  const Date day{2026, 3, 11};
  auto valueAt = [&](long long s) {
    const TimeOfDay time = TimeOfDay::fromSecondsOfDay(6 * 3600 + s % 3600);
    ClockValue v;
    v.tm_year = day.y;
    v.tm_mon = day.m;
    v.tm_mday = day.d;
    v.tm_hour = time.h;
    v.tm_min = time.m;
    v.tm_sec = time.s;
    v.tm_wday = day.weekday();
    v.tm_yday = 70;
    return v;
  };
  Clock clock{[&] { return valueAt(second); }};
  StartRecorder recorder;
  Player player{clock, recorder.factory(), [](auto, auto) {}};
  SongPlayback playback{player, paths};
  Scheduler scheduler{stores, clock, playback, [] {}};
  scheduler.runRound();  // baselines of the autosave

  const int calls = 20000;
  const double sameSecond = timePerCall(calls, [&](int) { scheduler.runRound(); });
  const double newSecond = timePerCall(calls, [&](int) {
    ++second;
    scheduler.runRound();
  });
  double trigger = 0;
  double info = 0;
  double hashes = 0;
  {
    auto access = stores.lock();
    const ClockValue now = valueAt(0);
    trigger = timePerCall(
        calls, [&](int) { triggerScheduledSounds(access.db(), access.cache(), now, playback); });
    info =
        timePerCall(calls, [&](int) { getActiveTimetableInfo(access.db(), access.cache(), now); });
    hashes = timePerCall(calls, [&](int) {
      access.dbStore().prepareAutoSave();
      access.shadowStore().prepareAutoSave();
      access.cacheStore().prepareAutoSave();
    });
  }
  std::printf(
      "(a) large database: 200 songs, 50 timetables x 12 lessons, 500 programmes, "
      "50 calendar events, %d calls each\n",
      calls);
  std::printf("    round without a new second (three autosave checks): %8.1f us\n", sameSecond);
  std::printf("    round with a processed second (no sound due):        %8.1f us\n", newSecond);
  std::printf("      of which triggerScheduledSounds:                   %8.1f us\n", trigger);
  std::printf("      of which getActiveTimetableInfo:                   %8.1f us\n", info);
  std::printf("      of which the three content hashes:                 %8.1f us\n", hashes);
  std::printf("    sounds started during the measurement: %zu\n", recorder.starts().size());
}

void benchLateness(const std::filesystem::path& dir, int seconds) {
  Paths paths = benchPaths(dir / "b");
  Stores stores;
  loadStores(stores, paths);
  Clock clock;
  {
    auto access = stores.lock();
    DB& db = access.db();
    AudioAsset tick;
    tick.name = "tick";
    tick.filename = "tick.mp3";
    db.songs.add(tick, "tick");
    std::ofstream(paths.getUserFilePath("tick.mp3")) << "x";
    db.settings.calendar.workdayMode = WorkdayMode::EVERY_DAY;
    TimeTable table;
    UserPlay everySecond{PlayDesc{"tick"}, {}};
    const long long from = TimeOfDay::fromTimeStruct(clock.getClock()).toSecondsOfDay();
    for (long long s = 0; s < seconds + 5; ++s) {
      everySecond.slots.push_back(TimeOfDay::fromSecondsOfDay(from + s));
    }
    table.customPlays.push_back(everySecond);
    db.timetables.add(table, FACTORY_DEFAULT_TIMETABLE_ID);
  }
  StartRecorder recorder;
  Player player{clock, recorder.factory(), [](auto, auto) {}};
  SongPlayback playback{player, paths};
  Scheduler scheduler{stores, clock, playback, [] {}};

  std::printf("(b) lateness of the file player's start after the second began, %d s\n", seconds);
  std::fflush(stdout);
  scheduler.start();
  const auto end = SteadyClock::now() + std::chrono::seconds(seconds);
  while (SteadyClock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  scheduler.stop();
  player.stopAll();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  std::vector<double> started;
  std::vector<double> requested;
  const auto starts = recorder.starts();
  for (const auto& s : starts) {
    if (s.started == SystemClock::time_point{})
      continue;
    // The second it was due in: a round run ahead asks for it up to BELL_LEAD before.
    const auto begin = std::chrono::floor<std::chrono::seconds>(s.requested + BELL_LEAD);
    started.push_back(Millis(s.started - begin).count());
    requested.push_back(Millis(s.requested - begin).count());
  }
  // The first second is processed when the thread starts, wherever in the second that is.
  if (!started.empty()) {
    started.erase(started.begin());
    requested.erase(requested.begin());
  }
  const Stats st = statsOf(started);
  const Stats rq = statsOf(requested);
  std::printf("    seconds with a start: %zu of about %d\n", started.size() + 1, seconds);
  std::printf("    play requested (round): median %.2f ms, p99 %.2f ms, max %.2f ms\n", rq.median,
              rq.p99, rq.max);
  std::printf("    file player started:    median %.2f ms, p99 %.2f ms, max %.2f ms\n", st.median,
              st.p99, st.max);
  const auto late =
      std::count_if(started.begin(), started.end(), [](double ms) { return ms > 15; });
  std::printf("    starts later than 15 ms: %td\n", late);
}

}  // namespace
}  // namespace veltrano

int main(int argc, char** argv) {
  int seconds = 65;
  if (argc > 1) seconds = std::max(1, std::atoi(argv[1]));
  veltrano::configureLogging(false);
  spdlog::set_level(spdlog::level::warn);  // no "Playing: ..." line per second
  const auto dir = std::filesystem::temp_directory_path() /
                   ("veltrano-bench-scheduler-" + std::to_string(std::random_device{}()));
  veltrano::benchRoundCost(dir);
  veltrano::benchLateness(dir, seconds);
  std::filesystem::remove_all(dir);
  return 0;
}
