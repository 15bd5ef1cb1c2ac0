#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "audio/AudioFiles.hpp"
#include "audio/ScopedEnv.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

// A stand-in for espeak-ng: two voices, a short wave for any text, exit status 3 for a text
// that says FAIL.
class AnnouncementSpeakTest : public ServerFixture {
 protected:
  AnnouncementSpeakTest() {
    auto bin = temp_.path() / "bin";
    std::filesystem::create_directories(bin);
    writeWave(temp_.path() / "speech.wav", 8000, 1, 8000 * 2);
    writeTextFile(
        bin / "espeak-ng",
        "#!/bin/sh\n"
        "if [ \"$1\" = --voices ]; then\n"
        "  echo 'Pty Language       Age/Gender VoiceName          File   Other Languages'\n"
        "  echo ' 5  de              --/M      German             gmw/de'\n"
        "  echo ' 5  en-gb           --/M      English_(Great_Britain) gmw/en (en 2)'\n"
        "  exit 0\nfi\n"
        "echo \"$2\" >> '" +
            (temp_.path() / "voices.log").string() +
            "'\n"
            "grep -q FAIL \"$8\" && { echo partial > \"$6\"; exit 3; }\n"
            "cp '" +
            (temp_.path() / "speech.wav").string() + "' \"$6\"\n");
    std::filesystem::permissions(bin / "espeak-ng", std::filesystem::perms::owner_all);
    path_.emplace("PATH", bin.string() + ":" + std::getenv("PATH"));
  }

  httplib::Result speak(const Json& body) { return post("/db/announcements/speak", body.dump()); }

  std::set<std::string> userFiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(paths_.getUserFilePath()))
      names.insert(entry.path().filename().string());
    return names;
  }

  std::optional<ScopedEnv> path_;
};

TEST_F(AnnouncementSpeakTest, VoicesAndSpeakingNowAfterTheSignal) {
  EXPECT_EQ(get("/api/get/voices")->body,
            R"j([{"id":"de","name":"German"},{"id":"en-gb","name":"English (Great Britain)"}])j");
  auto now = speak({{"text", "Assembly in the hall"}, {"voice", nullptr}, {"at", nullptr}});
  ASSERT_EQ(now->status, 200) << now->body;
  ASSERT_TRUE(stage_.waitForEvents(1));
  auto signal = songs_.getSongAssetPathById(stores_.lock().db(), "ID_intercom");
  EXPECT_EQ(stage_.events()[0], "start " + signal);
  ASSERT_TRUE(stage_.waitForEvents(3));
  EXPECT_EQ(stage_.events()[2],
            "start " + paths_.getUserFilePath("spoken-announcement.wav").string());
  // No voice given: the locale's language (de_DE.UTF-8).
  EXPECT_EQ(readTextFile(temp_.path() / "voices.log"), "de\n");
}

TEST_F(AnnouncementSpeakTest, SpeakingLaterProgrammesAnAnnouncement) {
  auto later = speak(
      {{"text", "Buses leave early today"}, {"voice", "en-gb"}, {"at", "2026-03-09T12:30:00"}});
  ASSERT_EQ(later->status, 200) << later->body;
  std::string id = Json::parse(later->body).get<std::string>();
  auto access = stores_.lock();
  const AudioAsset& song = access.db().songs.get(id);
  EXPECT_EQ(song.name, "Buses leave early today");
  EXPECT_EQ(song.storageCategory, AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT);
  EXPECT_EQ(song.lengthSec, 2);
  const Programme& programme = access.db().programmes.get(id);
  EXPECT_EQ(programme.songId, id);
  EXPECT_EQ(programme.date, (Date{2026, 3, 9}));
  EXPECT_EQ(programme.time, (TimeOfDay{12, 30, 0}));
  EXPECT_TRUE(std::filesystem::exists(paths_.getUserFilePath(id + ".wav")));
}

TEST_F(AnnouncementSpeakTest, RefusalsSayWhyAndLeaveNoFile) {
  auto before = userFiles();
  const std::string tooLong(MAX_SPOKEN_TEXT_CHARACTERS + 1, 'a');
  for (const auto& [body, status, reason] : std::vector<std::tuple<Json, int, std::string>>{
           {{{"text", "  "}}, 400, "The text is empty"},
           {{{"text", tooLong}}, 400, "The text is too long (at most 1000 characters)"},
           {{{"text", "Hello"}, {"voice", "xx"}}, 400, "Unknown voice: xx"},
           {{{"text", "Hello"}, {"at", "2026-03-09T09:59:59"}},
            400,
            "The time has already passed: 2026-03-09 09:59:59"},
           {{{"text", "Hello"}, {"at", "tomorrow"}},
            400,
            "Invalid time: tomorrow (expected YYYY-MM-DDTHH:MM:SS)"},
           {{{"text", "FAIL now"}}, 500, "The speech synthesizer failed (exit status 3)"},
           {{{"text", "FAIL later"}, {"at", "2026-03-10T08:00:00"}},
            500,
            "The speech synthesizer failed (exit status 3)"}}) {
    auto answer = speak(body);
    EXPECT_EQ(answer->status, status) << body.dump();
    EXPECT_EQ(answer->body, reason);
  }
  EXPECT_EQ(post("/db/announcements/speak", "{\"text\": \"\xC3(\"}")->status, 400);
  EXPECT_EQ(userFiles(), before);
  EXPECT_TRUE(stores_.lock().db().programmes.size() == 0);
  EXPECT_TRUE(stage_.events().empty());
}

TEST_F(AnnouncementSpeakTest, PreviewAnswersTheWaveAndKeepsNothing) {
  auto before = userFiles();
  auto preview = post("/db/announcements/preview", R"({"text": "Test", "voice": "de"})");
  ASSERT_EQ(preview->status, 200) << preview->body;
  EXPECT_EQ(preview->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(preview->body, readTextFile(temp_.path() / "speech.wav"));
  EXPECT_EQ(userFiles(), before);
  EXPECT_TRUE(stage_.events().empty());
}

// The real synthesizer, where it is installed: cheap for a few words.
TEST(RealSpeechSynthesizerTest, SpeaksAWaveInAnInstalledVoice) {
  SpeechSynthesizer speech("espeak-ng", "en_GB.UTF-8");
  std::vector<Voice> voices;
  try {
    voices = speech.voices();
  } catch (const SpeechError&) {
    GTEST_SKIP() << "espeak-ng is not installed";
  }
  EXPECT_EQ(speech.defaultVoice(), "en-gb");
  TempDir temp;
  auto wave = temp.path() / "hello.wav";
  speech.synthesize("-v xx Hello, this is a test.", "en-gb", wave);
  EXPECT_EQ(readTextFile(wave).substr(0, 4), "RIFF");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1);
}

}  // namespace
}  // namespace veltrano::test
