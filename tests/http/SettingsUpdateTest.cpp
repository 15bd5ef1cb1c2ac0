#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/SettingsUpdate.hpp"

namespace veltrano {
namespace {

TEST(SettingsUpdateTest, AppliesValuesOfTheRightTypeByDottedPath) {
  Settings settings;
  applySettingsUpdate(settings, Json::parse(R"({
      "schedulerEnable": false,
      "alarmDelaySec": 5,
      "calendar.workdayMode": 25,
      "calendar.syncSchoolHolidays": false,
      "dailyPreferences.selectedTimetableId": "tt1",
      "calendar.singleEvents": [{"timeTableId": "tt1", "start": "2026-03-09", "end": "2026-03-10"}]
  })"));
  EXPECT_FALSE(settings.schedulerEnable);
  EXPECT_DOUBLE_EQ(settings.alarmDelaySec, 5.0);
  EXPECT_EQ(settings.calendar.workdayMode, WorkdayMode::SUN_TO_THU);
  EXPECT_FALSE(settings.calendar.syncSchoolHolidays);
  EXPECT_EQ(settings.dailyPreferences.selectedTimetableId, "tt1");
  ASSERT_EQ(settings.calendar.singleEvents.size(), 1u);
  EXPECT_EQ(settings.calendar.singleEvents[0].end, (Date{2026, 3, 10}));

  applySettingsUpdate(settings, Json::parse(R"({"dailyPreferences.selectedTimetableId": null})"));
  EXPECT_FALSE(settings.dailyPreferences.selectedTimetableId);
  // Later members win over earlier ones of the same path.
  applySettingsUpdate(settings, Json::parse(R"({"alarmSignalId": "a", "alarmSignalId": "b"})"));
  EXPECT_EQ(settings.alarmSignalId, "b");
}

TEST(SettingsUpdateTest, RefusesUnknownFieldsAndWrongTypesAndChangesNothing) {
  std::vector<std::string> refused{
      R"({"noSuchField": 1})",
      R"({"calendar.noSuchField": 1})",
      R"({"schedulerEnable.deeper": true})",
      R"({"calendar..workdayMode": 15})",
      R"({"": 1})",
      R"({"schedulerEnable": "false"})",
      R"({"schedulerEnable": null})",
      R"({"alarmDelaySec": "5"})",
      R"({"calendar.workdayMode": 4})",
      R"({"calendar.workdayMode": 15.5})",
      R"({"defaultTimetableId": 7})",
      R"({"calendar": "x"})",
      R"({"calendar.singleEvents": [{"start": "2026-02-30"}]})",
      R"({"calendar.reoccurringEvents": [{"mode": 9}]})",
      R"({"dailyPreferences._lastDay": "today"})",
      R"([1, 2])",
      R"("schedulerEnable")",
      // The valid first member must not be applied either.
      R"({"schedulerEnable": false, "alarmDelaySec": "long"})",
  };
  for (const auto& body : refused) {
    Settings settings;
    Settings before = settings;
    EXPECT_THROW(applySettingsUpdate(settings, Json::parse(body)), SettingsUpdateError) << body;
    EXPECT_TRUE(settings == before) << body;
  }
}

TEST(SettingsUpdateTest, ErrorTextNamesTheOffendingSetting) {
  Settings settings;
  try {
    applySettingsUpdate(settings, Json::parse(R"({"calendar.workdayMod": 15})"));
    FAIL();
  } catch (const SettingsUpdateError& e) {
    EXPECT_STREQ(e.what(), "Unknown setting: calendar.workdayMod");
  }
  try {
    applySettingsUpdate(settings, Json::parse(R"({"schedulerEnable": 1})"));
    FAIL();
  } catch (const SettingsUpdateError& e) {
    EXPECT_NE(std::string(e.what()).find("schedulerEnable"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace veltrano
