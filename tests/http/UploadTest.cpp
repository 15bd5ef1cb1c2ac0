#include <gtest/gtest.h>

#include <set>
#include <string>

#include "audio/AudioFiles.hpp"
#include "foundation/Crypto.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

class UploadTest : public ServerFixture {
 protected:
  UploadTest() {
    auto wave = temp_.path() / "tone.wav";
    writeWave(wave, 8000, 1, 8000 * 3);  // three seconds
    wave_ = readTextFile(wave);
  }

  static httplib::MultipartFormDataItems file(const std::string& name, const std::string& content) {
    return {{"file", content, name, "application/octet-stream"}};
  }

  std::set<std::string> userFiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(paths_.getUserFilePath())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  std::string wave_;
};

TEST_F(UploadTest, SignalIsStoredUnderANewIdWithItsLength) {
  auto result = upload(file("School Bell.WAV", wave_));
  ASSERT_EQ(result->status, 200) << result->body;
  std::string id = Json::parse(result->body).get<std::string>();
  EXPECT_EQ(id.size(), 36u);
  auto access = stores_.lock();
  const AudioAsset& asset = access.db().songs.get(id);
  EXPECT_EQ(asset.name, "School Bell");
  EXPECT_EQ(asset.filename, id + ".wav");
  EXPECT_EQ(asset.lengthSec, 3);
  EXPECT_EQ(asset.md5, md5Hex(wave_));
  EXPECT_EQ(asset.storageCategory, AudioAssetCategory::USER_SIGNAL);
  EXPECT_EQ(readTextFile(paths_.getUserFilePath(asset.filename)), wave_);
}

TEST_F(UploadTest, SameSignalTwiceIsRefusedButMayBeAProgrammedSong) {
  ASSERT_EQ(upload(file("a.wav", wave_))->status, 200);
  auto again = upload(file("other name.wav", wave_));
  EXPECT_EQ(again->status, 400);
  EXPECT_EQ(again->body, "File is already uploaded");
  EXPECT_EQ(userFiles().size(), 1u);

  auto items = file("a.wav", wave_);
  items.push_back({"programName", "Morning song", "", ""});
  items.push_back({"date", "2026-03-10", "", ""});
  items.push_back({"time", "07:45:30", "", ""});
  auto programmed = upload(items);
  ASSERT_EQ(programmed->status, 200) << programmed->body;
  std::string programmeKey = Json::parse(programmed->body).get<std::string>();
  auto access = stores_.lock();
  const Programme& programme = access.db().programmes.get(programmeKey);
  EXPECT_NE(programme.songId, programmeKey);
  EXPECT_EQ(programme.time, (TimeOfDay{7, 45, 30}));
  EXPECT_EQ(access.db().songs.get(programme.songId).name, "Morning song");
  EXPECT_EQ(access.db().songs.get(programme.songId).storageCategory, AudioAssetCategory::PROGRAMME);
}

TEST_F(UploadTest, RefusedUploadsLeaveNothingBehind) {
  const char* const NOT_AUDIO = "Not an audio file the player can play";
  struct Case {
    httplib::MultipartFormDataItems items;
    const char* answer;
  };
  auto programmed = [&](const char* date, const char* time) {
    auto items = file("song.mp3", "mp3 bytes");
    items.push_back({"programName", "Song", "", ""});
    items.push_back({"date", date, "", ""});
    if (time)
      items.push_back({"time", time, "", ""});
    return items;
  };
  std::vector<Case> cases{
      {{{"other", "x", "x.wav", ""}}, "No file part"},
      {file("notes.txt", "text"), "Bad format: txt"},
      {file("noextension", "bytes"), "Bad format: "},
      {programmed("2026-02-30", "10:00"), "Invalid date: 2026-02-30"},
      {programmed("2026-03-10", "24:00"), "Invalid time: 24:00"},
      {programmed("2026-03-10", nullptr), "Missing form field: time"},
      {file("bell.mp3", "This is a text file, not a sound."), NOT_AUDIO},
      {file("bell.wav", std::string(4096, '\x5a')), NOT_AUDIO},
      {file("bell.mp4", wave_), NOT_AUDIO},
      {file("wave.mp3", wave_), NOT_AUDIO},
  };
  std::size_t songsBefore = stores_.lock().db().songs.size();
  for (const auto& c : cases) {
    auto result = upload(c.items);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400) << c.answer;
    EXPECT_EQ(result->body, c.answer);
  }
  EXPECT_TRUE(userFiles().empty());
  EXPECT_EQ(stores_.lock().db().songs.size(), songsBefore);
  EXPECT_EQ(stores_.lock().db().programmes.size(), 0u);
}

}  // namespace
}  // namespace veltrano::test
