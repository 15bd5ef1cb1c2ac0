#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "domain/AudioAsset.hpp"
#include "domain/Calendar.hpp"
#include "domain/DailyPreferences.hpp"
#include "domain/Programme.hpp"
#include "domain/TimeTable.hpp"

namespace veltrano {
namespace {

// Every record, filled with values that differ from its defaults, must come back equal
// from its stored text, and encode to the same bytes again.
template <class T>
void expectRoundTrip(const T& record) {
  const std::string text = toJson(record);
  SCOPED_TRACE(text);
  const T decoded = fromJson<T>(text);
  EXPECT_TRUE(decoded == record);
  EXPECT_EQ(toJson(decoded), text);
  EXPECT_EQ(contentHash(decoded), contentHash(record));
  EXPECT_FALSE(T{} == record) << "the sample must differ from the defaults";
  // An empty object gives the defaults (an asset's stamp is the decoding moment instead).
  if constexpr (!std::is_same_v<T, AudioAsset>) {
    EXPECT_TRUE(fromJson<T>("{}") == T{});
  }
}

PlayDesc samplePlay(const std::string& id) {
  return PlayDesc{id, true, 4, 2.5};
}

TEST(RecordRoundTripTest, TimetableRecords) {
  SignalTable channel;
  channel.lessons = {Lesson::decode("07:45 - 08:30"), Lesson::decode("08:40:15 - 08:20")};
  channel.startOfClass = samplePlay("ID_ping");
  channel.preEnd = samplePlay("ID_melody");
  channel.preStartWaitMin = 3;
  channel.preEndWaitMin = 0;
  UserPlay custom{samplePlay("sänger"), {TimeOfDay{9, 30, 0}, TimeOfDay{23, 59, 59}}};
  TimeTable table;
  table.name = "Órarend – A";
  table.chB = channel;
  table.customPlays = {custom, UserPlay{}};

  expectRoundTrip(samplePlay("x"));
  expectRoundTrip(channel);
  expectRoundTrip(custom);
  expectRoundTrip(table);
  expectRoundTrip(Programme::fromUserInput("song", "2024-02-29", "23:59:59"));

  AudioAsset asset{"Gong 🔔",
                   "d41d8cd98f00b204e9800998ecf8427e",
                   "gong.mp3",
                   12,
                   AudioAssetCategory::BUILT_IN_SIGNAL,
                   MyDateTime::decode("2026-03-09T07:45:12.000001")};
  expectRoundTrip(asset);
  asset.lastModified = MyDateTime::decode("2026-03-09T07:45:12");
  expectRoundTrip(asset);
}

TEST(RecordRoundTripTest, CalendarRecords) {
  CalendarRegion region{"Magyarország", WorkdayMode::MON_TO_SAT,      false,         "2027-08-31",
                        {"2026-03-15"}, {"2026-04-02", "2026-04-03"}, {"2026-01-10"}};
  SingleCalendarEvent single = SingleCalendarEvent::fromUserInput("t1", "2026-12-20", "2027-1-6");
  ReoccurringCalendarEvent recurring{"t2", ReoccurringCalendarEvent::Mode::EVEN_WEEK, 64};
  CalendarSettings settings{WorkdayMode::SUN_TO_THU, "at", false, {single, single}, {recurring}};
  DailyPreferences prefs{"t3", 739684};

  expectRoundTrip(region);
  expectRoundTrip(single);
  expectRoundTrip(recurring);
  expectRoundTrip(settings);
  expectRoundTrip(prefs);
}

TEST(RecordRoundTripTest, GoldenBytesOfNestedRecordWithNonAscii) {
  UserPlay play{PlayDesc{"Óra 🔔", false, 2, 1.0}, {TimeOfDay{7, 45, 0}, TimeOfDay{8, 0, 30}}};
  EXPECT_EQ(toJson(play),
            R"({"desc": {"id": "\u00d3ra \ud83d\udd14", "doRepeat": false, "iterations": 2, )"
            R"("delaySec": 1.0}, "slots": ["07:45", "08:00:30"]})");
}

TEST(RecordRoundTripTest, OlderFilesWithMissingAndUnknownMembersLoad) {
  auto table = fromJson<TimeTable>(
      R"({"name": "Old", "chA": {"lessons": ["8:00-8:45"], "volume": 3}, "retired": true})");
  EXPECT_EQ(table.name, "Old");
  ASSERT_EQ(table.chA.lessons.size(), 1u);
  EXPECT_EQ(table.chA.preStartWaitMin, 5);
  EXPECT_EQ(table.chB.lessons.size(), 6u);
}

}  // namespace
}  // namespace veltrano
