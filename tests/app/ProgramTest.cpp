#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/PlayerProcess.hpp"
#include "audio/AudioFiles.hpp"
#include "domain/Date.hpp"
#include "foundation/Json.hpp"
#include "http/TestBundle.hpp"
#include "remote/ServiceStub.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

const std::string ALREADY_USED =
    " is already used by another application. Either identify and stop that program, or start "
    "Veltrano with a different port.";

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() : bundle_(temp_.path()), port_(freePort()) {}

  std::unique_ptr<PlayerProcess> startPlayer(std::vector<std::string> arguments = {},
                                             std::map<std::string, std::string> env = {}) {
    return std::make_unique<PlayerProcess>(bundle_, port_, stub_.url(), std::move(arguments),
                                           std::move(env));
  }
  httplib::Client client() {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(10, 0);
    return client;
  }

  TempDir temp_;
  TestBundle bundle_;
  ServiceStub stub_;
  int port_;
};

TEST_F(ProgramTest, FirstStartLogsInAndServesTheDashboard) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  std::string output = player->output();
  EXPECT_NE(output.find("\nVeltrano Player v1.0.0\nOpen a browser and navigate to ----> "
                        "http://localhost:" +
                        std::to_string(port_) + "/ <----\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("Falling back to factory default config"), std::string::npos);
  EXPECT_EQ(output.find("User data path"), std::string::npos);  // DEBUG only

  auto http = client();
  EXPECT_EQ(http.Get("/whoami")->body, "Veltrano Player Backend");
  EXPECT_EQ(http.Get("/")->body, TEST_INDEX_HTML);

  auto first = http.Post("/auth/chpasswd", R"("letmein")", "application/json");
  EXPECT_EQ(first->body, "ok");
  EXPECT_EQ(http.Get("/db")->body, "No auth");
  EXPECT_EQ(http.Get("/")->get_header_value("Location"), "/login");
  auto login = http.Post("/auth/login", R"({"userPassword": "letmein", "remember": true})",
                         "application/json");
  EXPECT_EQ(login->status, 302);
  std::string loggedIn = sessionCookieOf(login);
  EXPECT_EQ(http.Get("/db", withCookie(loggedIn))->status, 200);
  std::string loggedOut = sessionCookieOf(http.Get("/auth/logout", withCookie(loggedIn)));
  EXPECT_EQ(http.Get("/db", withCookie(loggedOut))->body, "No auth");
}

TEST_F(ProgramTest, EveryTargetAnswers) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  auto http = client();
  for (const char* target : {"status", "info", "overview", "signals", "programmeInfo", "settings",
                             "calendarInfo", "calendarDays?offset=1"}) {
    auto result = http.Get(std::string("/api/get/") + target);
    ASSERT_TRUE(result) << target;
    EXPECT_EQ(result->status, 200) << target << ": " << result->body;
    EXPECT_FALSE(Json::parse(result->body).empty()) << target;
  }
  stub_.setAnnouncement("now", "spoken");
  stub_.setAnnouncement("later", "spoken later");
  struct Case {
    std::string call;
    std::string answer;
  };
  std::vector<Case> cases{
      {"playSignal/ID_ping", "ok"},
      {"toggleAlarm/0", "ok"},
      {"toggleAlarm/0", "ok"},
      {"addSingleEvent/0?timetableId=t&startDate=2026-03-09&endDate=2026-03-13", "ok"},
      {"addReoccurringEvent/0?timetableId=t&mode=3&days=5", "ok"},
      {"deleteSingleEvent/0", "ok"},
      {"deleteReoccurringEvent/0", "ok"},
      {"deleteReoccurringEvent/0", "Index out of range: 0"},
      {"announce/now", "ok"},
      {"announce/unknown", "Failed to download announcement"},
      {"announceProgrammed/later", "ok"},
      {"scheduleProgrammedAnnouncement/later?programName=P&date=2030-01-01&time=09:00", "ok"},
      {"scheduleProgrammedAnnouncement/later?programName=P&date=2030-01-01&time=09:00",
       "Key already exists"},
      {"deleteProgramme/later", "ok"},
      {"deleteSignal/ID_robot", "ok"},
      {"deleteTimetable/ID_factory_default_timetable", "ok"},
      {"deleteTimetable/ID_factory_default_timetable",
       "Unknown timetable: ID_factory_default_timetable"},
      {"playSignal/nope", "Unknown signal: nope"},
      {"bogus/1", "Unknown target: bogus"},
  };
  for (const auto& c : cases) {
    auto result = http.Get("/api/trigger/" + c.call);
    ASSERT_TRUE(result) << c.call;
    EXPECT_EQ(result->body, c.answer) << c.call;
    EXPECT_EQ(result->status, c.answer == "ok" ? 200 : 400) << c.call;
  }
  EXPECT_EQ(http.Get("/api/get/bogus")->body, "Unknown target: bogus");
  EXPECT_EQ(http.Get("/api/get/calendarDays")->body, "Missing query argument: offset");

  // The signal and the announcement reached the (fake) system players.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (player->playerLog().find("announcement.mp3") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string played = player->playerLog();
  EXPECT_NE(played.find("mpg123 " + (bundle_.bundle / "assets" / "p-ping.mp3").string()),
            std::string::npos)
      << played;
  EXPECT_NE(played.find("mpg123 " + (bundle_.userData() / "announcement.mp3").string()),
            std::string::npos)
      << played;
}

TEST_F(ProgramTest, UploadsRealAudioFiles) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  auto http = client();
  writeWave(temp_.path() / "tone.wav", 22050, 2, 22050 * 4);
  std::string wave = readTextFile(temp_.path() / "tone.wav");
  std::string mp3 = readTextFile(bundle_.bundle / "assets" / "s-cartoon.mp3");

  auto waveId = http.Post("/upload", {{"file", wave, "Tone.wav", "audio/wav"}});
  ASSERT_EQ(waveId->status, 200) << waveId->body;
  auto again = http.Post("/upload", {{"file", wave, "Copy.wav", "audio/wav"}});
  EXPECT_EQ(again->body, "File is already uploaded");
  auto song = http.Post("/upload", {{"file", mp3, "cartoon.mp3", "audio/mpeg"},
                                    {"programName", "Break music", "", ""},
                                    {"date", "2030-01-01", "", ""},
                                    {"time", "10:15", "", ""}});
  ASSERT_EQ(song->status, 200) << song->body;
  EXPECT_EQ(http.Post("/upload", {{"file", "x", "readme.txt", "text/plain"}})->body,
            "Bad format: txt");
  EXPECT_EQ(http.Post("/upload", {{"other", "x", "", ""}})->body, "No file part");

  Json db = Json::parse(http.Get("/db")->body);
  std::string id = Json::parse(waveId->body).get<std::string>();
  EXPECT_EQ(db["songs"][id]["lengthSec"], 4);
  Json programme = db["programmes"][Json::parse(song->body).get<std::string>()];
  EXPECT_EQ(programme["time"], "10:15");
  EXPECT_EQ(db["songs"][programme["songId"].get<std::string>()]["lengthSec"], 11);
  EXPECT_EQ(http.Get("/get_signal_file/" + id)->body, wave);
}

TEST_F(ProgramTest, NotFoundAnswersCarryTheCacheHeadersAndNoPathLeaves) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  auto http = client();
  auto missing = http.Get("/nothing-here.js");
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(missing->get_header_value("Cache-Control"),
            "no-store, no-cache, must-revalidate, max-age=0");
  EXPECT_EQ(missing->get_header_value("Pragma"), "no-cache");
  EXPECT_EQ(missing->get_header_value("Expires"), "0");
  for (const char* path :
       {"/../secret.txt", "/%2e%2e/secret.txt", "/..%2fsecret.txt", "/..%5csecret.txt",
        "/%2e%2e%2f%2e%2e%2fhome%2f.VeltranoPlayer%2f_db.json", "//etc/host.conf"}) {
    auto result = http.Get(path);
    EXPECT_EQ(result->status, 404) << path;
  }
  EXPECT_EQ(http.Get("/assets/app.js")->body, TEST_SCRIPT);
}

TEST_F(ProgramTest, SecondInstanceOnThePortEndsWithStatusOne) {
  auto first = startPlayer();
  ASSERT_TRUE(first->waitUntilServing()) << first->output();
  auto second = startPlayer();
  EXPECT_EQ(second->waitForExit(), 1);
  EXPECT_NE(second->output().find("Veltrano is already running. Navigate to http://localhost:" +
                                  std::to_string(port_) + "/ to access it."),
            std::string::npos)
      << second->output();
  EXPECT_EQ(client().Get("/whoami")->status, 200);  // the first one still serves
}

TEST_F(ProgramTest, UnrelatedProgramOnThePortEndsWithStatusOne) {
  httplib::Server other;
  other.Get("/whoami", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("Some other service", "text/plain");
  });
  ASSERT_TRUE(other.bind_to_port("127.0.0.1", port_));
  std::thread serving([&] { other.listen_after_bind(); });

  auto player = startPlayer();
  EXPECT_EQ(player->waitForExit(), 1);
  EXPECT_NE(player->output().find("Port " + std::to_string(port_) + ALREADY_USED),
            std::string::npos)
      << player->output();

  // An empty FLASK_DEBUG does not skip the check; a set one does, and then the port cannot
  // be taken.
  auto emptyDebug = startPlayer({}, {{"FLASK_DEBUG", ""}});
  EXPECT_EQ(emptyDebug->waitForExit(), 1);
  EXPECT_EQ(emptyDebug->output().find("FLASK_DEBUG"), std::string::npos);
  auto debug = startPlayer({}, {{"FLASK_DEBUG", "1"}});
  EXPECT_EQ(debug->waitForExit(), 1);
  EXPECT_NE(debug->output().find("FLASK_DEBUG is set; skipping port-in-use checks."),
            std::string::npos)
      << debug->output();
  other.stop();
  serving.join();
}

TEST_F(ProgramTest, SilentProgramOnThePortCountsAsUnrelated) {
  // Accepts connections (the kernel does) but never answers.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(::listen(fd, 8), 0);
  auto player = startPlayer();
  EXPECT_EQ(player->waitForExit(std::chrono::seconds(5)), 1);
  EXPECT_NE(player->output().find(ALREADY_USED), std::string::npos) << player->output();
  ::close(fd);
}

TEST_F(ProgramTest, TerminationSavesTheLastChangeAndEndsWithStatusZero) {
  auto player = startPlayer({"--verbose"});
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  EXPECT_NE(player->output().find("User data path: " + bundle_.userData().string() + "/"),
            std::string::npos);
  auto changed = client().Post("/db/settings/update", R"({"calendar.syncRegionId": "at"})",
                               "application/json");
  ASSERT_EQ(changed->body, "true");
  player->terminate();
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(player->waitForExit(), 0) << player->output();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  Json stored = Json::parse(readTextFile(bundle_.userData() / "_db.json"));
  EXPECT_EQ(stored["settings"]["calendar"]["syncRegionId"], "at");

  // The next start loads it instead of the factory database.
  auto again = startPlayer();
  ASSERT_TRUE(again->waitUntilServing()) << again->output();
  EXPECT_EQ(again->output().find("Falling back"), std::string::npos);
  EXPECT_EQ(Json::parse(client().Get("/api/get/calendarInfo")->body)["syncRegionId"], "at");
}

// The child of the given process with that name (as the kernel keeps it: 15 bytes); 0 for none.
pid_t childNamed(pid_t parent, const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream file(entry.path() / "stat");
    std::string stat;
    std::getline(file, stat);
    auto open = stat.find(" (");
    auto close = stat.rfind(") ");
    if (open == std::string::npos || close == std::string::npos)
      continue;
    std::istringstream rest(stat.substr(close + 2));
    std::string state;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent && stat.substr(open + 2, close - open - 2) == name)
      return std::stoi(stat.substr(0, open));
  }
  return 0;
}

TEST_F(ProgramTest, TerminationKillsACalendarReaderAtWorkAndStillEndsAtOnce) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  // A repeat rule no day satisfies keeps the reader busy up to its limits.
  const std::string endless =
      "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:x\r\nDTSTART:20260101T000000Z\r\n"
      "RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  std::thread upload([this, &endless] {
    client().Post("/db/calendar/preview-ics",
                  httplib::MultipartFormDataItems{{"file", endless, "x.ics", "text/calendar"}});
  });
  pid_t reader = 0;
  for (int i = 0; i < 1000 && reader == 0; ++i) {
    reader = childNamed(player->pid(), "veltrano-calend");
    if (reader == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_NE(reader, 0);
  player->terminate();
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(player->waitForExit(), 0) << player->output();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  upload.join();
  EXPECT_FALSE(reader != 0 && std::filesystem::exists("/proc/" + std::to_string(reader)));
}

// A tmpfs of the given size mounted over a directory for the life of the object (needs
// the right to mount, as root has).
class SmallFilesystem {
 public:
  SmallFilesystem(const std::filesystem::path& dir, const std::string& size) : dir_(dir) {
    std::filesystem::create_directories(dir);
    mounted_ =
        ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) == 0;
    if (!mounted_)
      error_ = std::strerror(errno);
  }
  ~SmallFilesystem() {
    if (mounted_)
      ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

  // Takes every free byte, down to the last one.
  void fill() {
    int fd = ::open((dir_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    std::string chunk(4096, 'x');
    for (std::size_t size = chunk.size(); size > 0; size /= 2) {
      while (::write(fd, chunk.data(), size) == static_cast<ssize_t>(size)) {
      }
    }
    ::close(fd);
  }
  void makeRoom() { std::filesystem::remove(dir_ / "filler"); }

 private:
  std::filesystem::path dir_;
  bool mounted_ = false;
  std::string error_;
};

// Polls until the condition holds or a few seconds have passed.
template <class Condition>
bool eventually(const Condition& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST_F(ProgramTest, BellsDueWhileTheProgramWasStoppedAreLoggedAsMissed) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  ASSERT_EQ(client()
                .Post("/db/settings/update", R"({"calendar.workdayMode": 7})", "application/json")
                ->body,
            "true");
  player->terminate();
  ASSERT_EQ(player->waitForExit(), 0) << player->output();
  // As if it had stopped a day earlier: every bell of the default timetable fell in between.
  const auto progress = bundle_.userData() / "scheduler-progress";
  const long long stopped = std::stoll(readTextFile(progress));
  writeTextFile(progress, std::to_string(stopped - 24 * 3600) + "\n");

  auto again = startPlayer();
  ASSERT_TRUE(again->waitUntilServing()) << again->output();
  // Logged by the first round, which may come just after the first answer.
  auto missed = [&] {
    int count = 0;
    for (long long day : {stopped / 86400 - 1, stopped / 86400}) {
      const auto date = Date::fromDayNumber(day).asString();
      for (const Json& entry : Json::parse(client().Get("/api/get/history?date=" + date)->body))
        count += entry["outcome"] == "skipped" &&
                 entry["reason"] == "missed while the player was not running";
    }
    return count > 0;
  };
  EXPECT_TRUE(eventually(missed));
  EXPECT_NE(again->output().find("sounds were due while the player was not running"),
            std::string::npos)
      << again->output();
}

TEST_F(ProgramTest, APlayerDiesWithTheProgramEvenWhenItIsKilled) {
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  // This mpg123 plays for ten minutes and ignores SIGTERM, as a hung output module does.
  const auto pidFile = bundle_.root / "mpg123.pid";
  writeTextFile(bundle_.root / "bin" / "mpg123",
                "#!/bin/sh\ntrap '' TERM\necho $$ > \"" + pidFile.string() + ".tmp\"\nmv \"" +
                    pidFile.string() + ".tmp\" \"" + pidFile.string() + "\"\nexec sleep 600\n");
  ASSERT_EQ(client().Get("/api/trigger/playSignal/ID_ping")->body, "ok");
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(pidFile); })) << player->output();
  const pid_t mpg123 = std::stoi(readTextFile(pidFile));

  player->killHard();
  ASSERT_TRUE(player->waitForExit());
  // Gone, or a zombie that only waits for init to collect it.
  const auto stat = "/proc/" + std::to_string(mpg123) + "/stat";
  auto gone = [&] {
    std::string text = readTextFile(stat);
    auto close = text.rfind(')');
    return text.empty() || (close != std::string::npos && text.compare(close + 2, 1, "Z") == 0);
  };
  EXPECT_TRUE(eventually(gone)) << readTextFile(stat);
  if (!gone())
    ::kill(mpg123, SIGKILL);
}

TEST_F(ProgramTest, AFullDiskShowsInTheStatusAndSavingResumesByItself) {
  SmallFilesystem disk(bundle_.userData(), "256k");
  if (!disk.mounted())
    GTEST_SKIP() << "cannot mount a small tmpfs for the data directory (" << disk.error()
                 << "): this test needs root";
  auto player = startPlayer();
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  auto http = client();
  auto setAlarmPause = [&](const std::string& seconds) {
    return http
        .Post("/db/settings/update", R"({"alarmDelaySec": )" + seconds + "}", "application/json")
        ->body;
  };
  auto saveError = [&] { return Json::parse(http.Get("/api/get/status")->body)["saveError"]; };
  auto storedAlarmPause = [&] {
    Json db = Json::parse(readTextFile(bundle_.userData() / "_db.json"), nullptr, false);
    return db.is_object() ? db["settings"]["alarmDelaySec"] : Json();
  };

  ASSERT_EQ(setAlarmPause("1.5"), "true");
  ASSERT_TRUE(eventually([&] { return storedAlarmPause() == 1.5; })) << player->output();
  disk.fill();
  ASSERT_EQ(setAlarmPause("2.5"), "true");
  ASSERT_TRUE(eventually([&] { return !saveError().is_null(); })) << player->output();
  Json error = saveError();
  EXPECT_EQ(error["store"], "_db.json");
  EXPECT_NE(error["reason"].get<std::string>().find("No space left on device"), std::string::npos)
      << error;
  EXPECT_TRUE(std::regex_match(error["since"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")))
      << error;
  EXPECT_EQ(storedAlarmPause(), 1.5) << "the last good file stays";

  disk.makeRoom();
  EXPECT_TRUE(eventually([&] { return saveError().is_null(); }));
  EXPECT_EQ(storedAlarmPause(), 2.5);
}

TEST_F(ProgramTest, CorruptStoreFileStopsTheStartAndIsKept) {
  writeTextFile(bundle_.userData() / "_db.json", "{\"dbVersion\": 2, \"songs\": ");
  auto player = startPlayer();
  EXPECT_EQ(player->waitForExit(), 1);
  std::string output = player->output();
  EXPECT_NE(output.find("Cannot load " + (bundle_.userData() / "_db.json").string()),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("terminate"), std::string::npos);
  EXPECT_EQ(readTextFile(bundle_.userData() / "_db.json"), "{\"dbVersion\": 2, \"songs\": ");
}

// --language, as the service passes it (empty when unset), is the "language" of the info answer.
TEST_F(ProgramTest, TheLanguageOptionIsTheDashboardsDefault) {
  struct Case {
    std::vector<std::string> arguments;
    std::string language;
  };
  std::vector<Case> cases{
      {{}, "en"}, {{"--language", "hu"}, "hu"}, {{"--language=de"}, "de"}, {{"--language="}, "en"}};
  for (const Case& c : cases) {
    auto player = startPlayer(c.arguments);
    ASSERT_TRUE(player->waitUntilServing()) << player->output();
    auto info = client().Get("/api/get/info");
    ASSERT_TRUE(info);
    EXPECT_EQ(Json::parse(info->body)["language"], c.language) << info->body;
    player.reset();
  }
}

TEST_F(ProgramTest, BadCommandLinesAreRefusedByTheParser) {
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--port", "abc"},
        std::vector<std::string>{"--port", "0"}, std::vector<std::string>{"--port", "70000"},
        std::vector<std::string>{"--language", "fr"}}) {
    auto player = startPlayer(arguments);
    auto status = player->waitForExit();
    ASSERT_TRUE(status);
    EXPECT_NE(*status, 0) << player->output();
    EXPECT_EQ(player->output().find("Veltrano Player v1.0.0"), std::string::npos);
  }
  auto help = startPlayer({"--help"});
  EXPECT_EQ(help->waitForExit(), 0);
  EXPECT_NE(help->output().find("Veltrano Player v1.0.0"), std::string::npos) << help->output();
}

TEST_F(ProgramTest, FailuresAreMailedAndCountedForMonitoring) {
  // A mail program that keeps its arguments and the message it reads.
  const auto mails = bundle_.root / "mails.txt";
  const auto sendmail = bundle_.root / "sendmail";
  writeTextFile(sendmail, "#!/bin/sh\n{ echo \"ARGS: $*\"; cat; echo \"=END=\"; } >> \"" +
                              mails.string() + "\"\n");
  std::filesystem::permissions(sendmail, std::filesystem::perms::owner_all);
  auto mailed = [&](const std::string& text) {
    return eventually([&] { return readTextFile(mails).find(text) != std::string::npos; });
  };
  const std::vector<std::string> options{"--sendmail", sendmail.string(), "--metrics-token",
                                         "district-token"};
  auto player = startPlayer(options);
  ASSERT_TRUE(player->waitUntilServing()) << player->output();
  auto http = client();

  EXPECT_EQ(http.Post("/alerts/test", "", "application/json")->status, 400) << "no address yet";
  auto refused = http.Post("/db/settings/update", R"({"alerts": {"email": ["-oQ/tmp@x.example"]}})",
                           "application/json");
  EXPECT_EQ(refused->status, 400);
  EXPECT_EQ(refused->body, "'-oQ/tmp@x.example' is not an e-mail address");
  ASSERT_EQ(http.Post("/db/settings/update",
                      R"({"alerts": {"email": ["caretaker@school.example"]}})", "application/json")
                ->status,
            200);
  auto test = http.Post("/alerts/test", "", "application/json");
  EXPECT_EQ(test->status, 200) << test->body;
  EXPECT_TRUE(mailed("ARGS: -oi -- caretaker@school.example\nTo: caretaker@school.example\n"))
      << readTextFile(mails);
  EXPECT_TRUE(mailed("Test e-mail from the school-bell player"));

  // The alarm's player fails: someone is told, and monitoring counts it.
  writeTextFile(bundle_.root / "bin" / "mpg123", "#!/bin/sh\necho 'no sound card' >&2\nexit 1\n");
  ASSERT_EQ(http.Get("/api/trigger/alarmOn/x")->status, 200);
  EXPECT_TRUE(mailed("A bell could not ring")) << readTextFile(mails) << player->output();
  http.Get("/api/trigger/alarmOff/x");

  ASSERT_EQ(http.Post("/auth/chpasswd", R"("letmein")", "application/json")->body, "ok");
  EXPECT_EQ(http.Get("/metrics")->body, "No auth");
  auto metrics = http.Get("/metrics", {{"Authorization", "Bearer district-token"}});
  ASSERT_EQ(metrics->status, 200);
  EXPECT_EQ(metrics->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_NE(metrics->body.find("veltrano_sounds_total{source=\"alarm\",outcome=\"failed\"} "),
            std::string::npos)
      << metrics->body;
  EXPECT_EQ(metrics->body.find("veltrano_sounds_total{source=\"alarm\",outcome=\"failed\"} 0\n"),
            std::string::npos);
  if (std::system("command -v promtool >/dev/null 2>&1") == 0) {
    writeTextFile(bundle_.root / "metrics.txt", metrics->body);
    const std::string check =
        "promtool check metrics < '" + (bundle_.root / "metrics.txt").string() + "'";
    EXPECT_EQ(std::system(check.c_str()), 0) << metrics->body;
  }

  // A program that did not shut down says so when it starts again (once the addresses are
  // saved: the autosave runs once a second).
  const auto database = bundle_.userData() / "_db.json";
  ASSERT_TRUE(eventually([&] {
    return readTextFile(database).find("caretaker@school.example") != std::string::npos;
  }));
  player->killHard();
  ASSERT_TRUE(player->waitForExit());
  port_ = freePort();
  auto again = startPlayer(options);
  ASSERT_TRUE(again->waitUntilServing()) << again->output();
  EXPECT_TRUE(mailed("The bell player restarted after a failure")) << again->output();
}

}  // namespace
}  // namespace veltrano::test
