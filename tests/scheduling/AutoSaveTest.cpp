#include <gtest/gtest.h>

#include <stdexcept>

#include "scheduling/AutoSave.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

TEST(AutoSaveTest, AFailedSaveIsKeptWithItsFirstTimeUntilASaveSucceeds) {
  TempDir temp;
  ClockValue now{2026, 3, 9, 8, 0, 0, 0, 68};
  Clock clock([&] { return now; });
  Stores stores;
  stores.lock().dbStore().load(temp.path() / "_db.json");
  bool diskFull = false;
  AutoSave save(clock, [&](const std::filesystem::path& path, std::string_view text) {
    if (diskFull)
      throw std::runtime_error("Cannot write _db.json: No space left on device");
    writeFileAtomically(path, text);
  });
  auto round = [&](int second) {
    now.tm_sec = second;
    clock.updateClock();
    {
      auto access = stores.lock();
      save.prepare(access);
    }
    save.write(stores);
  };
  auto saveError = [&] { return stores.lock().dbStore().saveError(); };

  round(0);  // the baseline
  stores.lock().db().settings.alarmDelaySec = 1.0;
  round(1);
  EXPECT_FALSE(saveError());

  LogCapture log;
  diskFull = true;
  stores.lock().db().settings.alarmDelaySec = 2.0;
  round(2);
  round(3);
  ASSERT_TRUE(saveError());
  EXPECT_EQ(saveError()->reason, "Cannot write _db.json: No space left on device");
  EXPECT_EQ(saveError()->since, "2026-03-09T08:00:02");
  EXPECT_FALSE(stores.lock().shadowStore().saveError()) << "the other stores are not blamed";

  diskFull = false;
  round(4);
  EXPECT_FALSE(saveError());
  Stores reloaded;
  ASSERT_TRUE(reloaded.lock().dbStore().load(temp.path() / "_db.json"));
  EXPECT_EQ(reloaded.lock().db().settings.alarmDelaySec, 2.0) << "the change waited, not lost";
}

}  // namespace
}  // namespace veltrano::test
