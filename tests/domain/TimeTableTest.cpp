#include <gtest/gtest.h>

#include <stdexcept>

#include "domain/AudioAsset.hpp"
#include "domain/Programme.hpp"
#include "domain/TimeTable.hpp"

namespace veltrano {
namespace {

TEST(TimeTableTest, DefaultSignalTableHasSixLessonsAndUnassignedSignals) {
  SignalTable table;
  ASSERT_EQ(table.lessons.size(), 6u);
  EXPECT_EQ(table.lessons.front().asString(), "08:00 - 08:45");
  EXPECT_EQ(table.lessons.back().asString(), "13:00 - 13:45");
  EXPECT_EQ(table.preStartWaitMin, 5);
  EXPECT_EQ(table.preEndWaitMin, 5);
  EXPECT_EQ(toJson(table.startOfClass),
            R"({"id": "NULL", "doRepeat": false, "iterations": 2, "delaySec": 1.0})");
  for (const PlayDesc* desc :
       {&table.startOfClass, &table.endOfClass, &table.preStart, &table.preEnd}) {
    EXPECT_EQ(*desc, PlayDesc{});
  }
}

TEST(TimeTableTest, DefaultListsAreNotShared) {
  TimeTable first;
  TimeTable second;
  first.chA.lessons.push_back(Lesson::fromHour(14));
  first.customPlays.push_back(UserPlay{});
  EXPECT_EQ(second.chA.lessons.size(), 6u);
  EXPECT_EQ(first.chB.lessons.size(), 6u);
  EXPECT_TRUE(second.customPlays.empty());
}

TEST(TimeTableTest, ChAtSelectsChannelsAndRefusesOthers) {
  TimeTable table;
  table.chB.preStartWaitMin = 3;
  EXPECT_EQ(&table.chAt(0), &table.chA);
  EXPECT_EQ(&table.chAt(1), &table.chB);
  EXPECT_EQ(std::as_const(table).chAt(1).preStartWaitMin, 3);
  for (int index : {-1, 2, 100})
    EXPECT_THROW(table.chAt(index), std::out_of_range);
}

TEST(TimeTableTest, StoredTextOfDefaultTimetable) {
  const std::string desc = R"({"id": "NULL", "doRepeat": false, "iterations": 2, "delaySec": 1.0})";
  const std::string channel =
      R"({"lessons": ["08:00 - 08:45", "09:00 - 09:45", "10:00 - 10:45", "11:00 - 11:45", )"
      R"("12:00 - 12:45", "13:00 - 13:45"], "startOfClass": )" +
      desc + R"(, "endOfClass": )" + desc + R"(, "preStartWaitMin": 5, "preStart": )" + desc +
      R"(, "preEndWaitMin": 5, "preEnd": )" + desc + "}";
  EXPECT_EQ(toJson(TimeTable{}), R"({"name": "Default", "chA": )" + channel + R"(, "chB": )" +
                                     channel + R"(, "customPlays": []})");
}

TEST(TimeTableTest, BadLessonTextNamesTheMember) {
  try {
    fromJson<TimeTable>(R"({"chB": {"lessons": ["08:00 - 08:45", "24:00 - 24:45"]}})");
    ADD_FAILURE() << "accepted";
  } catch (const DecodeError& e) {
    EXPECT_NE(std::string(e.what()).find("chB.lessons[1]"), std::string::npos) << e.what();
  }
  EXPECT_THROW(fromJson<TimeTable>(R"({"customPlays": [{"slots": ["8"]}]})"), DecodeError);
}

TEST(TimeTableTest, ContentHashFollowsLessonsAndSlots) {
  TimeTable table;
  const auto original = contentHash(table);
  table.chA.lessons[2].end = TimeOfDay{10, 50, 0};
  EXPECT_NE(contentHash(table), original);
  table.chA.lessons[2].end = TimeOfDay{10, 45, 0};
  EXPECT_EQ(contentHash(table), original);
  std::swap(table.chA.lessons[0], table.chA.lessons[1]);
  EXPECT_NE(contentHash(table), original);
}

TEST(ProgrammeTest, FromUserInputDecodesDateAndTime) {
  Programme p = Programme::fromUserInput("song-1", "2026-3-9", "7:45:30");
  EXPECT_EQ(toJson(p), R"({"songId": "song-1", "date": "2026-03-09", "time": "07:45:30", )"
                       R"("deleteAfterPlay": true})");
  EXPECT_THROW(Programme::fromUserInput("song-1", "2026-02-30", "07:45"), std::invalid_argument);
  EXPECT_THROW(Programme::fromUserInput("song-1", "2026-03-09", "24:00"), std::invalid_argument);
  EXPECT_EQ(
      toJson(Programme{}),
      R"({"songId": "NULL", "date": "1900-01-01", "time": "00:00", "deleteAfterPlay": true})");
}

TEST(AudioAssetTest, SignalsAreTheBuiltInAndUserCategories) {
  struct Case {
    AudioAssetCategory category;
    bool signal;
  };
  for (auto [category, signal] :
       {Case{AudioAssetCategory::BUILT_IN_SIGNAL, true},
        Case{AudioAssetCategory::USER_SIGNAL, true}, Case{AudioAssetCategory::PROGRAMME, false},
        Case{AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT, false}}) {
    AudioAsset asset;
    asset.storageCategory = category;
    EXPECT_EQ(asset.isSignal(), signal) << static_cast<int>(category);
  }
}

TEST(AudioAssetTest, EmptyObjectDecodesToDefaultsStampedNow) {
  const auto before = MyDateTime::now();
  AudioAsset asset = fromJson<AudioAsset>("{}");
  const auto after = MyDateTime::now();
  EXPECT_EQ(asset.lengthSec, -1);
  EXPECT_EQ(asset.storageCategory, AudioAssetCategory::USER_SIGNAL);
  EXPECT_LE(before, asset.lastModified);
  EXPECT_LE(asset.lastModified, after);
}

TEST(AudioAssetTest, CategoryIsStoredAsItsIntegerAndCheckedOnDecode) {
  AudioAsset asset;
  asset.name = "Csengő";
  asset.storageCategory = AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT;
  asset.lastModified = MyDateTime::decode("2026-03-09T07:45:12.503118");
  EXPECT_EQ(toJson(asset),
            R"({"name": "Cseng\u0151", "md5": "", "filename": "", "lengthSec": -1, )"
            R"("storageCategory": 3, "lastModified": "2026-03-09T07:45:12.503118"})");
  EXPECT_THROW(fromJson<AudioAsset>(R"({"storageCategory": 4})"), DecodeError);
  EXPECT_THROW(fromJson<AudioAsset>(R"({"lastModified": 5})"), DecodeError);
  EXPECT_THROW(fromJson<AudioAsset>(R"({"lastModified": "9 March"})"), DecodeError);
}

}  // namespace
}  // namespace veltrano
