#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "SchedulerFixture.hpp"
#include "scheduling/SoundTriggering.hpp"

namespace veltrano {
namespace {

using Played = std::vector<std::string>;

class SchedulerTest : public test::SchedulerFixture {
 protected:
  SchedulerTest() {
    auto access = stores_.lock();
    DB& db = access.db();
    for (const char* id : {"start", "end", "pre-start", "pre-end", "chb", "custom", "song"}) {
      addSound(db, id);
    }
    db.settings.calendar.workdayMode = WorkdayMode::EVERY_DAY;
    db.settings.defaultTimetableId = "tt";
    db.timetables.add(timetable({"08:00 - 08:45"}), "tt");
  }

  void replaceTimetable(const TimeTable& t) {
    auto access = stores_.lock();
    access.db().timetables.set("tt", t);
  }

  std::string addProgramme(const std::string& songId, std::string_view time,
                           bool deleteAfterPlay = true) {
    auto access = stores_.lock();
    Programme p = Programme::fromUserInput(songId, "2026-03-09", time);
    p.deleteAfterPlay = deleteAfterPlay;
    return access.db().programmes.add(p);
  }

  Played ringAt(const std::vector<std::string>& times) {
    for (const auto& time : times)
      roundAt("2026-03-09", time);
    return played();
  }
};

TEST_F(SchedulerTest, EdgeCasesOfLessonsAndCustomPlays) {
  struct Case {
    const char* name;
    TimeTable table;
    std::vector<std::string> times;
    Played expected;
  };
  TimeTable custom = timetable({});
  custom.customPlays.push_back({PlayDesc{"custom"}, {TimeOfDay{12}, TimeOfDay{12, 0, 30}}});
  custom.customPlays.push_back({PlayDesc{"song"}, {TimeOfDay{12, 0, 30}, TimeOfDay{12, 0, 30}}});
  const Case cases[] = {
      {"warnings wrap round midnight",
       timetable({"00:02 - 00:30", "23:50 - 00:01"}),
       {"23:45", "23:56", "23:57", "23:59"},
       {"23:45:00 pre-start", "23:56:00 pre-end", "23:57:00 pre-start"}},
      {"lessons with seconds",
       timetable({"08:00:30 - 08:45:15"}, 1, 1),
       {"07:59:30", "08:00", "08:00:30", "08:44:15", "08:45:15"},
       {"07:59:30 pre-start", "08:00:30 start", "08:44:15 pre-end", "08:45:15 end"}},
      {"custom plays ring at every slot, equal slots twice",
       custom,
       {"11:59:59", "12:00", "12:00:30"},
       {"12:00:00 custom", "12:00:30 custom", "12:00:30 song", "12:00:30 song"}},
  };
  std::size_t before = 0;
  for (const Case& c : cases) {
    replaceTimetable(c.table);
    Played all = ringAt(c.times);
    Played these(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    EXPECT_EQ(these, c.expected) << c.name;
    before = all.size();
  }
}

TEST_F(SchedulerTest, ProgrammesRingFirstAndGoWithTheirSong) {
  std::string once = addProgramme("song", "08:00");
  std::string kept = addProgramme("custom", "08:00", false);

  EXPECT_EQ(ringAt({"08:00"}), (Played{"08:00:00 song", "08:00:00 custom", "08:00:00 start"}));
  auto access = stores_.lock();
  EXPECT_FALSE(access.db().programmes.contains(once));
  EXPECT_FALSE(access.db().songs.contains("song"));
  EXPECT_TRUE(access.db().programmes.contains(kept));
  EXPECT_TRUE(access.db().songs.contains("custom"));
}

TEST_F(SchedulerTest, ADroppedSongsFileGoesOnceHeardAKeptOneStays) {
  addProgramme("song", "08:00");
  addProgramme("custom", "08:00", false);
  setClock(test::clockAt("2026-03-09", "08:00"));
  std::vector<PlayedFile> files;
  {
    auto access = stores_.lock();
    files = triggerScheduledSounds(access.db(), access.cache(), now_, playback_);
  }
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].path, paths_.getUserFilePath("song.mp3").string());
  ASSERT_TRUE(files[0].playback);
  files[0].playback->waitForEnd();
  EXPECT_TRUE(removeIfPlayed(files[0]));
  EXPECT_FALSE(std::filesystem::exists(files[0].path));
  EXPECT_TRUE(std::filesystem::exists(paths_.getUserFilePath("custom.mp3")));
}

TEST_F(SchedulerTest, TwoProgrammesSharingOneSongBothRingAndBothGo) {
  addProgramme("song", "10:15:30");
  addProgramme("song", "10:15:30");

  EXPECT_EQ(ringAt({"10:15:30"}), (Played{"10:15:30 song", "10:15:30 song"}));
  auto access = stores_.lock();
  EXPECT_TRUE(access.db().programmes.empty());
  EXPECT_FALSE(access.db().songs.contains("song"));
  EXPECT_FALSE(log_.contains("error"));
}

TEST_F(SchedulerTest, SongStaysWhileALaterProgrammeStillNeedsIt) {
  addProgramme("song", "10:15");
  std::string later = addProgramme("song", "11:00");

  EXPECT_EQ(ringAt({"10:15", "11:00"}), (Played{"10:15:00 song", "11:00:00 song"}));
  auto access = stores_.lock();
  EXPECT_FALSE(access.db().songs.contains("song"));
  EXPECT_FALSE(access.db().programmes.contains(later));
}

TEST_F(SchedulerTest, AProgrammeWithoutItsSongDoesNotSilenceTheBells) {
  std::string broken = addProgramme("gone", "08:00");
  addProgramme("song", "08:00");
  {
    auto access = stores_.lock();
    access.db().timetables.get("tt").chA.endOfClass.id = "deleted-signal";
  }

  EXPECT_EQ(ringAt({"07:59:59", "08:00", "08:00:01", "08:45"}),
            (Played{"08:00:00 song", "08:00:00 start"}));
  EXPECT_TRUE(log_.contains("Scheduler thread error: gone (programme " + broken + ")"));
  EXPECT_TRUE(log_.contains("Scheduler thread error: deleted-signal (lesson 08:00 - 08:45)"));
  auto access = stores_.lock();
  EXPECT_TRUE(access.db().programmes.empty()) << "a programme past its second is dropped";
}

TEST_F(SchedulerTest, SwitchedOffNothingRingsNothingGoesButStoresStillSave) {
  std::string programme = addProgramme("song", "08:00");
  {
    auto access = stores_.lock();
    access.db().settings.schedulerEnable = false;
  }
  EXPECT_EQ(ringAt({"07:55", "08:00"}), Played{});
  {
    auto access = stores_.lock();
    EXPECT_TRUE(access.db().programmes.contains(programme));
    access.db().timetables.get("tt").name = "changed";
  }

  roundAt("2026-03-09", "08:00:01");
  EXPECT_TRUE(log_.contains("DB saved to disk"));
  std::ifstream saved(paths_.getUserFilePath("_db.json"));
  std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"changed\""), std::string::npos);
  EXPECT_NE(text.find("\"schedulerEnable\": false"), std::string::npos);
}

// "HH:MM:SS source signalId reason" of every skipped sound logged for the day.
std::vector<std::string> skippedOn(SoundLog& log, std::string_view day) {
  std::vector<std::string> out;
  for (const Json& entry : log.entriesOf(Date::decode(day))) {
    if (entry["outcome"] != "skipped")
      continue;
    out.push_back(entry["due"].get<std::string>().substr(11) + " " +
                  entry["source"].get<std::string>() + " " + entry["signalId"].get<std::string>() +
                  " " + entry["reason"].get<std::string>());
  }
  return out;
}

TEST_F(SchedulerTest, DueSoundsThatDoNotStartAreLoggedAsSkipped) {
  TimeTable t = timetable({"08:00 - 08:45"});
  t.chA.preEnd.id = "NULL";
  UserPlay custom;
  custom.desc.id = "custom";
  custom.slots = {TimeOfDay::decode("10:18")};
  t.customPlays.push_back(custom);
  replaceTimetable(t);
  std::string programme = addProgramme("song", "10:19");
  roundAt("2026-03-09", "08:40");
  {
    auto access = stores_.lock();
    access.db().settings.schedulerEnable = false;
  }
  roundAt("2026-03-09", "10:18");
  roundAt("2026-03-09", "10:19");
  {
    auto access = stores_.lock();
    EXPECT_TRUE(access.db().programmes.contains(programme));
    access.db().settings.schedulerEnable = true;
    access.db().settings.defaultTimetableId = "deleted";
  }
  // A timetable that is gone: its bells are unknown, so the day is logged once.
  for (const char* time : {"00:00", "00:00:01", "08:00"})
    roundAt("2026-03-10", time);

  EXPECT_EQ(played(), Played{});
  EXPECT_EQ(skippedOn(soundLog_, "2026-03-09"),
            (std::vector<std::string>{"08:40:00 preEnd  no signal set",
                                      "10:18:00 customPlay custom bells switched off",
                                      "10:19:00 programme song bells switched off"}));
  EXPECT_EQ(skippedOn(soundLog_, "2026-03-10"),
            (std::vector<std::string>{"00:00:00 timetable  timetable missing"}));
}

TEST_F(SchedulerTest, SoundsDueWhileThePlayerWasNotRunningAreLoggedAsMissed) {
  const auto progress = dir_.path() / "scheduler-progress";
  addProgramme("song", "08:20");
  scheduler_.keepProgressIn(progress);
  // The pre-start bell at 07:55 is kept at once, the quiet 07:56 is not: a crash then (no
  // stop) must not make the bell that rang look missed.
  for (const char* time : {"07:54", "07:55", "07:56"})
    roundAt("2026-03-09", time);
  setClock(test::clockAt("2026-03-09", "08:30"));
  {
    Scheduler restarted(stores_, clock_, playback_, {});
    restarted.keepProgressIn(progress);
    restarted.runRound();
    // Stopped cleanly at 08:30: everything after it was missed, but only a day's worth.
    setClock(test::clockAt("2026-03-11", "08:00:30"));
  }
  Scheduler again(stores_, clock_, playback_, {});
  again.keepProgressIn(progress);
  again.runRound();

  EXPECT_EQ(played(), Played{"07:55:00 pre-start"});
  EXPECT_EQ(skippedOn(soundLog_, "2026-03-09"),
            (std::vector<std::string>{
                "08:00:00 lessonStart start missed while the player was not running",
                "08:20:00 programme song missed while the player was not running"}));
  EXPECT_EQ(
      skippedOn(soundLog_, "2026-03-10"),
      (std::vector<std::string>{"08:40:00 preEnd pre-end missed while the player was not running",
                                "08:45:00 lessonEnd end missed while the player was not running"}));
  EXPECT_EQ(skippedOn(soundLog_, "2026-03-11"),
            (std::vector<std::string>{
                "07:55:00 preStart pre-start missed while the player was not running",
                "08:00:00 lessonStart start missed while the player was not running"}));
}

TEST_F(SchedulerTest, DayWithoutTimetableStillPlaysProgrammes) {
  {
    auto access = stores_.lock();
    access.db().settings.calendar.workdayMode = WorkdayMode::MON_TO_FRI;
  }
  {
    auto access = stores_.lock();
    access.db().programmes.add(Programme::fromUserInput("song", "2026-03-14", "08:00"));
  }
  roundAt("2026-03-14", "07:55");
  roundAt("2026-03-14", "08:00");
  EXPECT_EQ(played(), Played{"08:00:00 song"});
}

// Each case runs on a day of its own ("+1 " marks its next day). Expected: every logged sound
// as "[+1 ]due signal +lateness in ms", in order.
TEST_F(SchedulerTest, ClockStepsRingEverySecondOnce) {
  struct Case {
    const char* name;
    std::vector<std::string> rounds;
    Played expected;
    bool oneOffPlayAtTen = false;
  };
  replaceTimetable(timetable({"00:00 - 00:45", "08:00 - 08:45"}));
  const Case cases[] = {
      {"+1 s", {"07:59:59", "08:00:00"}, {"08:00:00 start +0"}},
      {"+2 s bridges the second between", {"07:59:59", "08:00:01"}, {"08:00:00 start +1000"}},
      {"+59 s", {"07:59:30", "08:00:29"}, {"08:00:00 start +29000"}},
      {"+61 s skips", {"07:59:30", "08:00:31"}, {}},
      {"+1 h skips", {"07:30:00", "08:30:00"}, {}},
      {"-1 s", {"08:00:00", "07:59:59", "08:00:00", "08:00:01"}, {"08:00:00 start +0"}},
      {"-2 s", {"08:00:00", "08:00:01", "07:59:59", "08:00:00", "08:00:02"}, {"08:00:00 start +0"}},
      {"-59 s", {"08:00:00", "07:59:01", "08:00:00", "08:00:01"}, {"08:00:00 start +0"}},
      {"-61 s rings again",
       {"08:00:00", "07:58:59", "07:59:59", "08:00:00"},
       {"08:00:00 start +0", "08:00:00 start +0"}},
      {"-1 h rings again",
       {"08:00:00", "07:00:00", "07:59:30", "08:00:00"},
       {"08:00:00 start +0", "08:00:00 start +0"}},
      {"+2 s across midnight", {"23:59:59", "+1 00:00:01"}, {"+1 00:00:00 start +1000"}},
      {"-2 s across midnight",
       {"+1 00:00:00", "+1 00:00:01", "23:59:59", "+1 00:00:00", "+1 00:00:02"},
       {"+1 00:00:00 start +0"}},
      {"+2 s over a one-off play",
       {"09:59:59", "10:00:01", "09:59:59", "10:00:02"},
       {"10:00:00 song +1000"},
       true},
  };
  Date day{2026, 4, 1};
  for (const Case& c : cases) {
    const Date next = day.plusDays(1);
    if (c.oneOffPlayAtTen) {
      auto access = stores_.lock();
      Programme programme = Programme::fromUserInput("song", day.asString(), "10:00:00");
      programme.deleteAfterPlay = true;
      access.db().programmes.add(programme);
    }
    for (const std::string& round : c.rounds) {
      const bool onNext = round.starts_with("+1 ");
      setClock(test::clockAt(onNext ? next : day, TimeOfDay::decode(round.substr(onNext ? 3 : 0))));
      scheduler_.runRound();
      played();  // reported before the clock moves on, so lateness counts from this round
    }
    Played logged;
    for (const Date& date : {day, next}) {
      for (const Json& entry : soundLog_.entriesOf(date)) {
        std::string due = entry["due"].get<std::string>().substr(11);
        logged.push_back((date == next ? "+1 " : "") + due + " " +
                         entry["signalId"].get<std::string>() + " +" +
                         std::to_string(entry["lateMs"].get<long long>()));
      }
    }
    EXPECT_EQ(logged, c.expected) << c.name;
    day = day.plusDays(2);
  }
  EXPECT_TRUE(log_.contains("The clock jumped forward by 3570 s"));
  EXPECT_TRUE(log_.contains("The clock was set back by 3600 s"));
  auto access = stores_.lock();
  EXPECT_TRUE(access.db().programmes.empty());
  EXPECT_FALSE(access.db().songs.contains("song")) << "the one-off play went with its song";
}

TEST_F(SchedulerTest, YesterdaysHandChoiceIsDroppedBeforeTheNewDayRings) {
  {
    auto access = stores_.lock();
    DB& db = access.db();
    db.timetables.add(timetable({"00:00 - 00:45"}), "midnight");
    db.settings.dailyPreferences.selectedTimetableId = "midnight";
    db.settings.dailyPreferences.lastDay = static_cast<int>(Date{2026, 3, 9}.toDayNumber());
  }
  roundAt("2026-03-09", "23:59:59");
  roundAt("2026-03-10", "00:00:00");
  EXPECT_EQ(played(), Played{}) << "the new day uses its own timetable from its first second";
  auto access = stores_.lock();
  EXPECT_FALSE(access.db().settings.dailyPreferences.selectedTimetableId);
}

TEST_F(SchedulerTest, RemoteCheckRunsInTheFifthProcessedSecondOffTheRound) {
  std::mutex mutex;
  std::condition_variable changed;
  bool release = false;
  remoteCheck_ = [&] {
    std::unique_lock lock(mutex);
    ++remoteChecks_;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
  };
  const std::vector<std::string> seconds = {"07:59:55", "07:59:56", "07:59:57", "07:59:58"};
  for (const auto& time : seconds) {
    roundAt("2026-03-09", time);
    roundAt("2026-03-09", time);  // a round in the same second does not count
  }
  EXPECT_FALSE(scheduler_.isRemoteCheckRunning());
  EXPECT_EQ(remoteChecks_, 0);

  roundAt("2026-03-09", "07:59:59");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return remoteChecks_ == 1; }));
  }
  // The check hangs; the bells go on.
  roundAt("2026-03-09", "08:00");
  EXPECT_EQ(played(), Played{"08:00:00 start"});
  EXPECT_TRUE(scheduler_.isRemoteCheckRunning());

  // The next check is due 108000 processed seconds later; the hanging one makes it skip.
  ClockValue v = test::clockAt("2026-03-09", "08:00");
  for (long long i = scheduler_.secCounter() + 1; i <= SEC_30_HOURS + REMOTE_CHECK_SECOND; ++i) {
    v.tm_sec = static_cast<int>(i % 60);
    v.tm_min = static_cast<int>((i / 60) % 60);
    v.tm_hour = static_cast<int>(i / 3600 % 24);
    v.tm_mday = 10 + static_cast<int>(i / 86400);
    setClock(v);
    ASSERT_TRUE(scheduler_.runRound());
  }
  EXPECT_EQ(scheduler_.secCounter(), SEC_30_HOURS + REMOTE_CHECK_SECOND);
  EXPECT_TRUE(log_.contains("Remote check skipped: the previous one is still running"));
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  while (scheduler_.isRemoteCheckRunning())
    std::this_thread::yield();
  EXPECT_EQ(remoteChecks_, 1);
}

TEST_F(SchedulerTest, FailingRemoteCheckIsLoggedAndTheBellsGoOn) {
  remoteCheck_ = [this] {
    ++remoteChecks_;
    throw std::runtime_error("service exploded");
  };
  for (int s = 0; s < 5; ++s)
    roundAt("2026-03-09", "07:00:0" + std::to_string(s));
  while (scheduler_.isRemoteCheckRunning() || remoteChecks_ == 0)
    std::this_thread::yield();
  EXPECT_TRUE(log_.contains("Scheduler thread error: service exploded"));
  EXPECT_EQ(roundAt("2026-03-09", "08:00"), true);
  EXPECT_EQ(played(), Played{"08:00:00 start"});
}

TEST_F(SchedulerTest, AFailingRoundIsLoggedAndTheNextOneRings) {
  bool broken = false;
  Clock brokenClock{[&] {
    if (broken)
      throw std::runtime_error("clock broken");
    return now_;
  }};
  // The clock reading is the first thing a round does, so it fails the whole round.
  Scheduler scheduler{stores_, brokenClock, playback_, [] {}};
  std::vector<std::string> lines;
  {
    // Captures only the failing rounds: the ringing round's playback thread logs after it,
    // into the fixture's capture that outlives the player.
    test::LogCapture log;
    broken = true;
    EXPECT_FALSE(scheduler.runRound());
    EXPECT_FALSE(scheduler.runRound());
    lines = log.lines();
  }
  broken = false;
  setClock(test::clockAt("2026-03-09", "08:00"));
  EXPECT_TRUE(scheduler.runRound());

  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Scheduler thread error: clock broken"), 1)
      << "a failure that repeats is logged once";
}

TEST_F(SchedulerTest, SavesInOrderAfterTheRoundAndRetriesAFailedWrite) {
  roundAt("2026-03-09", "06:00");  // the first round takes the baselines
  {
    auto access = stores_.lock();
    access.db().settings.alarmDelaySec = 2.0;
    access.shadow().setPassword("secret");
    access.cache().calendarVersion = 7;
  }
  test::LogCapture log;
  roundAt("2026-03-09", "06:00:01");
  EXPECT_EQ(log.lines(), (Played{"DB saved to disk", "Shadow updated", "Cache saved"}));

  // A store whose file cannot be written: logged once, retried every round, saved when it can.
  auto blocked = paths_.getUserFilePath("cache.json");
  std::filesystem::remove(blocked);
  std::filesystem::create_directory(blocked);
  std::filesystem::create_directory(blocked / "occupied");
  {
    auto access = stores_.lock();
    access.cache().calendarVersion = 8;
    access.db().settings.alarmDelaySec = 3.0;
  }
  test::LogCapture failing;
  for (int i = 0; i < 5; ++i)
    scheduler_.runRound();
  auto lines = failing.lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "DB saved to disk"), 1);
  EXPECT_EQ(
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& l) { return l.find("Scheduler thread error: ") == 0; }),
      1);
  EXPECT_FALSE(failing.contains("Cache saved"));

  std::filesystem::remove_all(blocked);
  scheduler_.runRound();
  EXPECT_TRUE(failing.contains("Cache saved"));
  std::ifstream saved(blocked);
  std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"calendarVersion\": 8"), std::string::npos);
}

// File players that note on the wall clock when each sound was readied and when it sounded.
class WallTimedPlayers {
 public:
  using Moment = std::chrono::system_clock::time_point;
  struct Sound {
    Moment readied;
    Moment sounded;
  };

  FilePlayerFactory factory() {
    return [this] { return std::make_unique<Timed>(*this); };
  }
  // The sounds once there are `count` of them (fewer after ten seconds).
  std::vector<Sound> waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [&] { return sounds_.size() >= count; });
    return sounds_;
  }

 private:
  class Timed final : public FilePlayer {
   public:
    explicit Timed(WallTimedPlayers& owner) : owner_(owner) {}
    void prepareAtOnce(const std::string&) noexcept override {
      readied_ = std::chrono::system_clock::now();
    }
    bool startAtOnce(const std::string&) noexcept override {
      const Moment now = std::chrono::system_clock::now();
      {
        std::lock_guard lock(owner_.mutex_);
        owner_.sounds_.push_back({readied_, now});
      }
      owner_.changed_.notify_all();
      return true;
    }
    void startPlay(const std::string&) override {}
    bool isPlaying() override { return false; }
    void closeFile(bool) override {}

   private:
    WallTimedPlayers& owner_;
    Moment readied_;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Sound> sounds_;  // protected by mutex_
};

TEST_F(SchedulerTest, BellsOnTheWallClockAreDecidedAheadAndSoundOnTheirSecond) {
  using namespace std::chrono;
  WallTimedPlayers players;
  Clock wall{readLocalTime};
  Player player{wall, players.factory(), [](auto, auto) {}};
  SongPlayback playback{player, paths_, nullptr};
  const auto first = floor<seconds>(system_clock::now()) + seconds(2);
  auto slot = [](system_clock::time_point at) {
    return TimeOfDay::fromTimeStruct(clockValueFromEpoch(at.time_since_epoch() / seconds(1)));
  };
  TimeTable bells = timetable({});
  bells.customPlays = {{PlayDesc{"custom"}, {slot(first), slot(first + seconds(1))}}};
  replaceTimetable(bells);
  Scheduler scheduler{stores_, wall, playback, {}};
  scheduler.start();
  const auto sounds = players.waitFor(2);
  scheduler.stop();
  ASSERT_EQ(sounds.size(), 2u);
  bool anyAhead = false;
  for (std::size_t i = 0; i < sounds.size(); ++i) {
    const auto second = first + seconds(static_cast<long>(i));
    EXPECT_GE(sounds[i].sounded, second) << "bell " << i << " sounded before its second";
    anyAhead = anyAhead || sounds[i].readied < second;
  }
  // Both late only on a machine too busy to wake within BELL_LEAD.
  EXPECT_TRUE(anyAhead) << "no bell was readied before its second";
}

TEST_F(SchedulerTest, ThreadRunsRoundsUntilStopped) {
  std::mutex mutex;
  std::condition_variable changed;
  int readings = 0;
  Clock counting{[&] {
    std::lock_guard lock(mutex);
    ++readings;
    changed.notify_all();
    return now_;
  }};
  Scheduler scheduler{stores_, counting, playback_, [] {}};
  scheduler.start();
  scheduler.start();  // already running: nothing happens
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return readings >= 4; }));
  }
  scheduler.stop();
  int afterStop = 0;
  {
    std::lock_guard lock(mutex);
    afterStop = readings;
  }
  scheduler.stop();
  std::lock_guard lock(mutex);
  EXPECT_EQ(readings, afterStop);
  EXPECT_EQ(scheduler.secCounter(), 1) << "the clock never moved";
}

TEST(SchedulerWakeUp, ProcessesEachSecondRightAfterItBegins) {
  using namespace std::chrono;
  const system_clock::time_point second{seconds(1'773'000'000)};
  struct Case {
    milliseconds into;
    bool sawNewSecond;
    milliseconds wakeAt;  // from the start of the same second
  };
  const Case cases[] = {
      {milliseconds(1), true, milliseconds(1000)},
      {milliseconds(500), false, milliseconds(1000)},
      {milliseconds(900), false, milliseconds(1000)},
      {milliseconds(950), true, milliseconds(1000)},
      {milliseconds(999), false, milliseconds(1000)},
      {milliseconds(0), true, milliseconds(1000)},
      // The new second began but the clock still shows the old one: look again soon.
      {milliseconds(1), false, milliseconds(2)},
      {milliseconds(19), false, milliseconds(20)},
      {milliseconds(20), false, milliseconds(1000)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Scheduler::nextWakeUp(second + c.into, c.sawNewSecond), second + c.wakeAt)
        << c.into.count() << " ms, new second " << c.sawNewSecond;
  }
}

}  // namespace
}  // namespace veltrano
