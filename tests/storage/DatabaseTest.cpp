#include "storage/FactoryDefaults.hpp"
#include "storage/Stores.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace veltrano {
namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

DB factoryDatabase() {
  DB db;
  db.loadFactoryDefault();
  db.ensureFactorySongsAvailable();
  return db;
}

TEST(FactoryDefault, FreshDatabaseHasTwelveSignalsAndOneTimetable) {
  DB db = factoryDatabase();
  ASSERT_EQ(db.songs.size(), 12u);
  std::size_t i = 0;
  for (const auto& [id, song] : db.songs) {
    const auto& row = BUILT_IN_SIGNALS[i++];
    EXPECT_EQ(id, row.id);
    EXPECT_EQ(song.name, row.name);
    EXPECT_EQ(song.md5, row.md5);
    EXPECT_EQ(song.filename, row.filename);
    EXPECT_EQ(song.lengthSec, row.lengthSec);
    EXPECT_EQ(song.storageCategory, AudioAssetCategory::BUILT_IN_SIGNAL);
  }
  EXPECT_EQ(db.programmes.size(), 0u);
  ASSERT_EQ(db.timetables.size(), 1u);
  const TimeTable& timetable = db.timetables.get(FACTORY_DEFAULT_TIMETABLE_ID);
  EXPECT_EQ(db.settings.defaultTimetableId, FACTORY_DEFAULT_TIMETABLE_ID);
  for (int channel : {0, 1}) {
    const SignalTable& signals = timetable.chAt(channel);
    EXPECT_EQ(signals.lessons.size(), 6u);
    EXPECT_EQ(signals.startOfClass.id, "ID_melody");
    EXPECT_EQ(signals.endOfClass.id, "ID_melody");
    EXPECT_EQ(signals.preStart.id, "ID_ping");
    EXPECT_EQ(signals.preEnd.id, "ID_ping");
    EXPECT_FALSE(signals.startOfClass.doRepeat);
  }
}

TEST(FactoryDefault, EveryBuiltInSignalFileShipsWithTheSource) {
  for (const auto& row : BUILT_IN_SIGNALS) {
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(VELTRANO_SOURCE_DIR) /
                                                 "assets" / std::string(row.filename)))
        << row.filename;
  }
}

TEST(FactoryDefault, EnsureRestoresDeletedUpdatesDigestAndLeavesTheRestAlone) {
  DB db = factoryDatabase();
  db.songs.remove("ID_ring");
  AudioAsset& melody = db.songs.get("ID_melody");
  melody.md5 = "old";
  melody.name = "Our melody";
  AudioAsset user;
  user.name = "mine";
  db.songs.add(user, "user-song");

  db.ensureFactorySongsAvailable();
  EXPECT_EQ(db.songs.size(), 13u);
  EXPECT_EQ(db.songs.at(-1).name, "ring");
  EXPECT_EQ(db.songs.get("ID_melody").md5, "f36f23527bcda212d390198d8ce919d4");
  EXPECT_EQ(db.songs.get("ID_melody").name, "Our melody");
  EXPECT_EQ(db.songs.get("user-song").name, "mine");

  auto hash = contentHash(db);
  db.ensureFactorySongsAvailable();
  EXPECT_EQ(contentHash(db), hash);
}

TEST(DatabaseStore, FirstStartWritesNothingUntilAChangeAfterTheBaseline) {
  test::TempDir dir;
  auto path = dir.path() / "_db.json";
  StorageWrapper<DB> store;
  EXPECT_FALSE(store.load(path));
  store->loadFactoryDefault();
  store->ensureFactorySongsAvailable();
  EXPECT_FALSE(store.saveAuto());
  EXPECT_FALSE(store.saveAuto());
  EXPECT_FALSE(std::filesystem::exists(path));

  store->settings.schedulerEnable = false;
  EXPECT_TRUE(store.saveAuto());
  EXPECT_EQ(readFile(path), toJson(store.record()));
  EXPECT_EQ(readFile(path).find('\n'), std::string::npos);
  EXPECT_EQ(readFile(path).rfind("{\"dbVersion\": 2, \"settings\": {\"defaultTimetableId\": "
                                 "\"ID_factory_default_timetable\", \"schedulerEnable\": false, ",
                                 0),
            0u);

  StorageWrapper<DB> reloaded;
  ASSERT_TRUE(reloaded.load(path));
  EXPECT_EQ(reloaded.record(), store.record());
}

TEST(DatabaseStore, VersionOneMigratesSignalsToSongs) {
  test::TempDir dir;
  auto path = dir.path() / "_db.json";
  writeFile(path, R"({"dbVersion": 1, "signals": {"s1": {"name": "old bell", "storageCategory": 1}}})");
  StorageWrapper<DB> store;
  ASSERT_TRUE(store.load(path));
  EXPECT_EQ(store->dbVersion, 2);
  EXPECT_EQ(store->songs.get("s1").name, "old bell");
  store.saveForce();
  std::string written = readFile(path);
  EXPECT_NE(written.find("\"dbVersion\": 2"), std::string::npos);
  EXPECT_NE(written.find("\"songs\": {\"s1\""), std::string::npos);
  EXPECT_EQ(written.find("signals"), std::string::npos);
}

TEST(DatabaseStore, VersionOneWithoutSignalsHasNoSongs) {
  test::TempDir dir;
  writeFile(dir.path() / "_db.json", R"({"dbVersion": 1})");
  StorageWrapper<DB> store;
  ASSERT_TRUE(store.load(dir.path() / "_db.json"));
  EXPECT_EQ(store->songs.size(), 0u);
}

TEST(DatabaseStore, OtherVersionsAreRefused) {
  for (const char* content : {R"({"dbVersion": 3})", R"({"dbVersion": 0})", R"({})"}) {
    test::TempDir dir;
    writeFile(dir.path() / "_db.json", content);
    StorageWrapper<DB> store;
    EXPECT_FALSE(store.load(dir.path() / "_db.json")) << content;
    EXPECT_EQ(store.record(), DB{}) << content;
  }
}

TEST(DatabaseStore, MissingMembersTakeDefaults) {
  test::TempDir dir;
  writeFile(dir.path() / "_db.json", R"({"dbVersion": 2, "songs": {}})");
  StorageWrapper<DB> store;
  ASSERT_TRUE(store.load(dir.path() / "_db.json"));
  EXPECT_EQ(store->programmes.size(), 0u);
  EXPECT_TRUE(store->settings.schedulerEnable);
  EXPECT_EQ(store->settings.calendar.syncRegionId, "hu");
}

TEST(CacheStore, FreshCacheTextAndRegionReload) {
  Cache cache;
  EXPECT_EQ(toJson(cache), R"({"calendarRegions": {}, "calendarVersion": 0, "calendarLastUpdated": ""})");
  cache.loadCalendarEntires(Json::parse(R"({"hu": {"name": "Hungary", "holidays": ["2026-03-15"]}})"),
                            3, "2026-03-09");
  EXPECT_EQ(cache.calendarVersion, 3);
  EXPECT_EQ(cache.calendarLastUpdated, "2026-03-09");
  EXPECT_EQ(cache.calendarRegions.get("hu").holidays.at(0), "2026-03-15");

  EXPECT_THROW(cache.loadCalendarEntires(Json::parse(R"({"at": {"name": 5}})"), 4, "2026-03-10"),
               DecodeError);
  EXPECT_EQ(cache.calendarVersion, 3);
  EXPECT_TRUE(cache.calendarRegions.contains("hu"));
}

TEST(Stores, AccessReachesTheSameRecords) {
  Stores stores;
  {
    auto access = stores.lock();
    access.db().settings.alarmDelaySec = 2.5;
    access.shadow().setPassword("x");
  }
  auto access = stores.lock();
  EXPECT_DOUBLE_EQ(access.db().settings.alarmDelaySec, 2.5);
  EXPECT_TRUE(access.shadow().isPasswordMatching("x"));
}

}  // namespace
}  // namespace veltrano
