#include <gtest/gtest.h>

#include <fstream>

#include "foundation/Crypto.hpp"
#include "storage/BackupArchive.hpp"
#include "storage/Backups.hpp"
#include "support/LogCapture.hpp"
#include "support/ReleasePaths.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

// Beyond the sizes the program is built for, a restore is refused by name and changes
// nothing, while a store file already in use loads whole: no record of it is ever dropped.
TEST(StoreSizes, OversizedDatabaseIsRefusedByARestoreButLoadsWholeFromItsFile) {
  DB manyTimetables;
  manyTimetables.loadFactoryDefault();
  for (std::size_t i = 0; i < MAX_TIMETABLES; ++i)
    manyTimetables.timetables.add(TimeTable{});
  DB manyEvents;
  manyEvents.loadFactoryDefault();
  // Each its own, or the archive would compress beyond what a restore believes of a backup.
  for (std::size_t i = 0; i <= MAX_CALENDAR_EVENTS; ++i) {
    manyEvents.settings.calendar.singleEvents.push_back(SingleCalendarEvent::fromUserInput(
        FACTORY_DEFAULT_TIMETABLE_ID, "2026-12-21", "2027-01-06"));
    manyEvents.settings.calendar.singleEvents.back().name = randomUuid();
  }

  const std::pair<const DB*, std::string> cases[] = {
      {&manyTimetables, "10001 timetables (at most 10000)"},
      {&manyEvents, "100001 calendar events (at most 100000)"},
  };
  for (const auto& [db, problem] : cases) {
    test::TempDir dir;
    test::LogCapture log;
    Paths paths = test::releasePathsIn(dir.path());
    Stores stores;
    Clock clock;
    Backups backups(stores, paths, clock);
    const std::string text = toJson(*db);

    BackupContent content;
    content.stores = {text, toJson(Shadow{}), toJson(Cache{})};
    content.programVersion = "test";
    content.created = "2026-03-09T10:00:00";
    const auto archive = dir.path() / "backup.tar.gz";
    {
      std::ofstream out(archive, std::ios::binary);
      writeBackupArchive(content, [&](std::string_view bytes) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      });
    }
    try {
      backups.restoreArchive(archive, {});
      ADD_FAILURE() << "restored " << problem;
    } catch (const BackupRefused& e) {
      EXPECT_EQ(std::string(e.what()),
                "_db.json holds more than the program is built for: " + problem);
    }
    EXPECT_EQ(stores.lock().db().timetables.size(), 0u);

    const auto file = dir.path() / "_db.json";
    std::ofstream(file, std::ios::binary) << text;
    StorageWrapper<DB> store;
    ASSERT_TRUE(store.load(file));
    EXPECT_EQ(store.record(), *db);
    EXPECT_TRUE(log.contains(problem)) << problem;
  }
}

}  // namespace
}  // namespace veltrano
