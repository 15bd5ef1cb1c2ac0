#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include "app/PlayerProcess.hpp"
#include "audio/AudioFiles.hpp"
#include "foundation/Shadow.hpp"
#include "http/TestBundle.hpp"
#include "remote/ServiceStub.hpp"
#include "storage/BackupArchive.hpp"
#include "storage/Stores.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

constexpr const char* SIGNAL_FILE = "kill-test.wav";

// A complete setup whose every store file carries its name; only the restored one has a
// password and an uploaded signal.
StoreTexts setNamed(const std::string& name, bool withPasswordAndSignal) {
  DB db;
  db.loadFactoryDefault();
  db.ensureFactorySongsAvailable();
  db.timetables.get(FACTORY_DEFAULT_TIMETABLE_ID).name = name;
  Shadow shadow;
  if (withPasswordAndSignal) {
    AudioAsset signal;
    signal.name = "kill test";
    signal.filename = SIGNAL_FILE;
    db.timetables.get(FACTORY_DEFAULT_TIMETABLE_ID).chA.startOfClass.id = db.songs.add(signal);
    shadow.setPassword(name);
  }
  Cache cache;
  cache.calendarLastUpdated = name;
  return {toJson(db), toJson(shadow), toJson(cache)};
}

// The name of the set a store file belongs to; "missing" when there is none.
std::string setOf(const std::filesystem::path& file, const Json::json_pointer& where) {
  std::string text = readTextFile(file);
  if (text.empty())
    return "missing";
  Json json = Json::parse(text);
  const Json& value = json.at(where);
  return value.is_string() ? value.get<std::string>() : "no password";
}

std::vector<std::string> leftoversIn(const std::filesystem::path& directory) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with(".restore-") || name.ends_with(".tmp"))
      found.push_back(name);
  }
  return found;
}

// The program is killed at random moments of restores; after each restart the stores and the
// audio are wholly the set before or wholly the restored one.
TEST(RestoreKillTest, AKilledRestoreLeavesTheOldSetOrTheNewOneNeverAMix) {
  TempDir temp;
  TestBundle bundle(temp.path());
  ServiceStub stub;
  const auto data = bundle.userData();
  const StoreTexts before = setNamed("before", false);
  auto wave = temp.path() / SIGNAL_FILE;
  writeWave(wave, 8000, 1, 800);
  BackupContent content;
  content.stores = setNamed("restored", true);
  content.audio = {{SIGNAL_FILE, wave}};
  std::string archive;
  writeBackupArchive(content, [&](std::string_view bytes) { archive.append(bytes); });

  // One port throughout: a fresh one each time could be a client's port of an earlier round.
  const int port = freePort();
  std::mt19937 random(std::random_device{}());
  std::chrono::microseconds restoreTime{0};
  int restoredCount = 0;
  const int rounds = 30;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::filesystem::remove_all(data);
    writeTextFile(data / "_db.json", before.db);
    writeTextFile(data / "_shadow.json", before.shadow);
    writeTextFile(data / "cache.json", before.cache);
    {
      PlayerProcess player(bundle, port, stub.url());
      ASSERT_TRUE(player.waitUntilServing()) << player.output();
      auto started = std::chrono::steady_clock::now();
      std::thread upload([&] {
        httplib::Client client("127.0.0.1", player.port());
        client.set_read_timeout(10, 0);
        auto answer =
            client.Post("/restore", {{"file", archive, "backup.tar.gz", "application/gzip"}});
        // The first round measures a whole restore; the others are cut short at random.
        if (round == 0) {
          ASSERT_TRUE(answer && answer->status == 200) << (answer ? answer->body : "no answer");
          restoreTime = std::chrono::duration_cast<std::chrono::microseconds>(
              std::chrono::steady_clock::now() - started);
        }
      });
      if (round > 0) {
        // Half again the whole restore's time, so that some kills come after its end.
        std::uniform_int_distribution<long> delay(0, restoreTime.count() * 3 / 2);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
      } else {
        upload.join();
      }
      player.killHard();
      ASSERT_TRUE(player.waitForExit());
      if (upload.joinable())
        upload.join();
    }

    PlayerProcess restarted(bundle, port, stub.url());
    ASSERT_TRUE(restarted.waitUntilServing()) << restarted.output();
    // Its own saves done, a temporary file left is one the start did not remove.
    restarted.terminate();
    ASSERT_EQ(restarted.waitForExit(), 0);
    std::string db = setOf(
        data / "_db.json",
        Json::json_pointer(std::string("/timetables/") + FACTORY_DEFAULT_TIMETABLE_ID + "/name"));
    std::string shadow = setOf(data / "_shadow.json", Json::json_pointer("/_pwd"));
    std::string cache = setOf(data / "cache.json", Json::json_pointer("/calendarLastUpdated"));
    if (db == "before") {
      EXPECT_EQ(shadow, "no password");
      EXPECT_EQ(cache, "before");
    } else {
      ++restoredCount;
      EXPECT_EQ(db, "restored");
      EXPECT_NE(shadow, "no password");
      EXPECT_EQ(cache, "restored");
      EXPECT_EQ(readTextFile(data / SIGNAL_FILE), readTextFile(wave));
    }
    EXPECT_EQ(leftoversIn(data), std::vector<std::string>{});
  }
  std::cout << "Restored in " << restoredCount << " of " << rounds
            << " rounds; a whole restore took " << restoreTime.count() << " us\n";
}

}  // namespace
}  // namespace veltrano::test
