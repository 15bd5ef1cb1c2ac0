#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <string>

#include "app/Application.hpp"
#include "app/PlayerProcess.hpp"
#include "audio/AudioFiles.hpp"
#include "audio/FakeFilePlayer.hpp"
#include "http/TestBundle.hpp"
#include "remote/ServiceStub.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

// The time both installations see; a test moves it by hand.
class Dial {
 public:
  void set(int hour, int minute, int second) {
    std::lock_guard lock(mutex_);
    now_.tm_hour = hour;
    now_.tm_min = minute;
    now_.tm_sec = second;
  }
  TimeSource source() {
    return [this] {
      std::lock_guard lock(mutex_);
      return now_;
    };
  }

 private:
  std::mutex mutex_;
  // Monday 9 March 2026, a school day.
  ClockValue now_{2026, 3, 9, 7, 59, 58, 0, 68};  // protected by mutex_
};

// One installation with its own data, fake players and the dial's time, served on a thread.
class Installation {
 public:
  Installation(const std::filesystem::path& root, const std::string& serviceUrl, Dial& dial)
      : bundle_(root), port_(freePort()) {
    ApplicationOptions options;
    options.arguments = {"veltrano-player", "--port", std::to_string(port_)};
    options.environment = bundle_.environment();
    options.filePlayerFactory = stage_.factory();
    options.serviceUrl = serviceUrl;
    options.timeSource = dial.source();
    options.host = "127.0.0.1";
    options.getEnvironment = [](const std::string&) { return std::nullopt; };
    options.openUrl = [](const std::string&) {};
    application_ = std::make_unique<Application>(std::move(options));
    status_ = std::async(std::launch::async, [this] { return application_->start(); });
    for (int i = 0; i < 1000 && !client().Get("/whoami"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~Installation() {
    application_->stop();
    status_.wait();
  }

  httplib::Client client() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(10, 0);
    return client;
  }

  TestBundle bundle_;
  FakeStage stage_;

 private:
  int port_;
  std::unique_ptr<Application> application_;
  std::future<int> status_;
};

TEST(BackupRestoreTest, ABackupRestoredOnAFreshInstallationHasTheSameDatabaseFilesAndBells) {
  TempDir one;
  TempDir two;
  ServiceStub stub;
  Dial dial;
  auto wave = one.path() / "bell.wav";
  writeWave(wave, 8000, 1, 8000);

  std::string archive;
  std::string database;
  std::string signalFile;
  {
    Installation first(one.path(), stub.url(), dial);
    auto client = first.client();
    std::string cookie =
        sessionCookieOf(client.Post("/auth/chpasswd", R"("school-bells-1")", "application/json"));
    auto uploaded = client.Post("/upload", withCookie(cookie),
                                {{"file", readTextFile(wave), "bell.wav", "audio/wav"}});
    ASSERT_EQ(uploaded->status, 200) << uploaded->body;
    std::string signalId = Json::parse(uploaded->body).get<std::string>();
    // The first lesson at 08:00 now starts with the uploaded signal.
    Json timetable = Json::parse(client.Get("/db/timetables", withCookie(cookie))->body)[0];
    timetable["chA"]["startOfClass"]["id"] = signalId;
    ASSERT_EQ(client
                  .Post("/db/timetables/update/" + timetable["id"].get<std::string>(),
                        withCookie(cookie), timetable.dump(), "application/json")
                  ->status,
              200);

    auto backup = client.Get("/backup", withCookie(cookie));
    ASSERT_EQ(backup->status, 200) << backup->body;
    EXPECT_EQ(backup->get_header_value("Content-Disposition"),
              "attachment; filename=\"veltrano-backup-20260309-075958.tar.gz\"");
    archive = backup->body;
    database = client.Get("/db", withCookie(cookie))->body;
    signalFile = signalId + ".wav";
  }

  Installation second(two.path(), stub.url(), dial);
  auto client = second.client();
  auto restored = client.Post("/restore", {{"file", archive, "backup.tar.gz", "application/gzip"}});
  ASSERT_EQ(restored->status, 200) << restored->body;
  // The restored password differs from none: this browser must log in with it.
  EXPECT_FALSE(Json::parse(restored->body)["loggedIn"].get<bool>());
  EXPECT_EQ(client.Get("/db")->body, "No auth");
  std::string cookie = sessionCookieOf(
      client.Post("/auth/login", R"({"userPassword": "school-bells-1", "remember": false})",
                  "application/json"));
  EXPECT_EQ(client.Get("/db", withCookie(cookie))->body, database);
  EXPECT_EQ(readTextFile(second.bundle_.userData() / signalFile), readTextFile(wave));

  dial.set(8, 0, 0);
  ASSERT_TRUE(second.stage_.waitForEvents(1));
  EXPECT_EQ(
      second.stage_.events()[0],
      "start " + (std::filesystem::canonical(second.bundle_.userData()) / signalFile).string());

  // The day's snapshot and the one of the state before the restore, which says what each holds
  // and which restore came after it; the latter undoes the restore.
  Json snapshots = Json::parse(client.Get("/backup/snapshots", withCookie(cookie))->body);
  ASSERT_EQ(snapshots.size(), 2u);
  EXPECT_EQ(snapshots[0]["reason"], "before-restore");
  EXPECT_EQ(snapshots[0]["restoring"], (Json{{"kind", "file"}, {"name", "backup.tar.gz"}}));
  EXPECT_EQ(
      snapshots[0]["contents"],
      (Json{{"timetables", 1}, {"events", 0}, {"uploadedSignals", 0}, {"passwordSet", false}}));
  EXPECT_EQ(snapshots[1]["reason"], "daily");
  EXPECT_FALSE(snapshots[1].contains("restoring"));
  auto undone = client.Post("/restore/snapshot/" + snapshots[0]["name"].get<std::string>(),
                            withCookie(cookie), "", "application/json");
  ASSERT_EQ(undone->status, 200) << undone->body;
  // The password in force stays: the login goes on and the database is still guarded.
  EXPECT_TRUE(Json::parse(undone->body)["loggedIn"].get<bool>());
  EXPECT_EQ(client.Get("/db")->body, "No auth");
  EXPECT_EQ(Json::parse(client.Get("/db", withCookie(cookie))->body)["songs"].size(), 12u);
  Json latest = Json::parse(client.Get("/backup/snapshots", withCookie(cookie))->body)[0];
  EXPECT_EQ(latest["restoring"]["kind"], "snapshot");
  EXPECT_EQ(latest["contents"]["uploadedSignals"], 1);
  EXPECT_EQ(latest["contents"]["passwordSet"], true);

  // Asked for, the snapshot's own password (none) comes back too.
  auto withPassword = client.Post(
      "/restore/snapshot/" + snapshots[0]["name"].get<std::string>() + "?restorePassword=true",
      withCookie(cookie), "", "application/json");
  ASSERT_EQ(withPassword->status, 200) << withPassword->body;
  EXPECT_EQ(Json::parse(client.Get("/db")->body)["songs"].size(), 12u);
  EXPECT_EQ(client
                .Post("/restore/snapshot/" + snapshots[0]["name"].get<std::string>() +
                          "?restorePassword=yes",
                      "", "application/json")
                ->status,
            400);
}

}  // namespace
}  // namespace veltrano::test
