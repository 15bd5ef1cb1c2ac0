#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "audio/ChildProcesses.hpp"
#include "audio/ScopedEnv.hpp"
#include "audio/platform/posix/LinuxFilePlayer.hpp"
#include "audio/platform/posix/ReadyPlayers.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

using test::ScopedEnv;

// Stand-ins for mpg123 and aplay: they note how they were started and any SIGTERM, and play
// until terminated when the file name holds "long", or their input ends when it is "-" (a
// ready player), else end at once.
constexpr const char* FAKE_PLAYER = R"sh(#!/bin/sh
echo "$(basename "$0") $*" >> "$FAKE_LOG"
echo "stderr $(readlink /proc/$$/fd/2)" >> "$FAKE_LOG"
echo "inherited $(readlink /proc/$$/fd/$MARKER_FD)" >> "$FAKE_LOG"
trap 'echo TERM >> "$FAKE_LOG"; exit 0' TERM
echo ready >> "$FAKE_LOG"
case "$1" in
  *long*) while :; do sleep 0.01; done ;;
  -) cat > /dev/null ;;
esac
)sh";

class LinuxFilePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(bin());
    for (const char* name : {"mpg123", "aplay"}) {
      std::ofstream(bin() / name) << FAKE_PLAYER;
      std::filesystem::permissions(bin() / name, std::filesystem::perms::owner_all);
    }
    // A descriptor this process leaves open without close-on-exec; children must not get it.
    marker_ = open((dir_.path() / "marker").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(marker_, 0);
    markerFd_.emplace("MARKER_FD", std::to_string(marker_));
  }
  void TearDown() override { close(marker_); }

  std::filesystem::path bin() const { return dir_.path() / "bin"; }
  std::string logText() const {
    std::ifstream in(dir_.path() / "log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Waits, at most about five seconds, until the fake player has logged the text.
  bool waitForLog(const std::string& text) const {
    for (int i = 0; i < 500; ++i) {
      if (logText().find(text) != std::string::npos) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // Polls the player as a playback thread would, at most about five seconds.
  static bool waitUntilStopped(LinuxFilePlayer& player) {
    for (int i = 0; i < 500; ++i) {
      if (!player.isPlaying()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  test::TempDir dir_;
  ScopedEnv path_{"PATH", bin().string() + ":/usr/bin:/bin"};
  ScopedEnv log_{"FAKE_LOG", (dir_.path() / "log").string()};
  int marker_ = -1;
  std::optional<ScopedEnv> markerFd_;
};

TEST_F(LinuxFilePlayerTest, PicksThePlayerByExtensionInAnyCase) {
  struct Case {
    std::string file;
    std::string program;
  };
  for (const Case& c : std::vector<Case>{{"BELL.MP3", "mpg123"},
                                         {"tone.WAV", "aplay"},
                                         {"a.b.mp3", "mpg123"},
                                         {"x.Wav", "aplay"}}) {
    std::string path = (dir_.path() / c.file).string();
    LinuxFilePlayer player;
    player.startPlay(path);
    ASSERT_TRUE(waitUntilStopped(player)) << c.file;
    player.closeFile(false);
    EXPECT_NE(logText().find(c.program + " " + path + "\n"), std::string::npos) << c.file;
  }
  std::string log = logText();
  EXPECT_EQ(log.find("TERM"), std::string::npos);
  EXPECT_EQ(log.find("inherited " + (dir_.path() / "marker").string()), std::string::npos) << log;
  std::istringstream lines(log);
  int stderrLines = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("stderr ", 0) == 0) {
      EXPECT_EQ(line.rfind("stderr pipe:", 0), 0u) << line;  // read for a failure's reason
      ++stderrLines;
    }
  }
  EXPECT_EQ(stderrLines, 4);
  EXPECT_TRUE(test::childProcesses().empty());
}

TEST_F(LinuxFilePlayerTest, RefusesOtherExtensionsWithoutStartingAnything) {
  for (const auto& [file, ext] : std::vector<std::pair<std::string, std::string>>{
           {"tone.ogg", ".ogg"},
           {"TONE.OGG", ".ogg"},
           {"noext", ""},
           {".mp3", ""},  // a hidden file, not an extension
           {"dir.mp3/name", ""},
           {"song.mp3.bak", ".bak"}}) {
    LinuxFilePlayer player;
    try {
      player.startPlay((dir_.path() / file).string());
      ADD_FAILURE() << file << " should be refused";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "Unsupported file format: " + ext) << file;
    }
    EXPECT_FALSE(player.isPlaying());
  }
  EXPECT_EQ(logText(), "");
}

TEST_F(LinuxFilePlayerTest, AbortSendsExactlyOneTerminateAndReaps) {
  LinuxFilePlayer player;
  player.startPlay((dir_.path() / "long.mp3").string());
  ASSERT_TRUE(waitForLog("ready"));
  EXPECT_TRUE(player.isPlaying());
  player.closeFile(true);
  player.closeFile(true);  // a second close must not signal again
  EXPECT_FALSE(player.isPlaying());
  EXPECT_TRUE(test::childProcesses().empty());
  std::string log = logText();
  EXPECT_EQ(log.find("TERM"), log.rfind("TERM"));
  EXPECT_NE(log.find("TERM"), std::string::npos);
}

// Ignores and blocks SIGTERM in this process (as a host might) for the life of the object.
class SigtermShielded {
 public:
  SigtermShielded() : previous_(std::signal(SIGTERM, SIG_IGN)) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &blocked, &oldMask_);
  }
  ~SigtermShielded() {
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    std::signal(SIGTERM, previous_);
  }
  SigtermShielded(const SigtermShielded&) = delete;
  SigtermShielded& operator=(const SigtermShielded&) = delete;

 private:
  void (*previous_)(int);
  sigset_t oldMask_;
};

TEST_F(LinuxFilePlayerTest, TerminateWorksEvenWhenThisProcessIgnoresIt) {
  SigtermShielded shield;
  LinuxFilePlayer player;
  player.startPlay((dir_.path() / "long.wav").string());
  ASSERT_TRUE(waitForLog("ready"));
  ASSERT_TRUE(player.isPlaying());
  player.closeFile(true);
  EXPECT_FALSE(player.isPlaying());
  EXPECT_NE(logText().find("TERM"), std::string::npos);
  EXPECT_TRUE(test::childProcesses().empty());
}

TEST_F(LinuxFilePlayerTest, DestructorEndsAndReapsARunningChild) {
  {
    LinuxFilePlayer player;
    player.startPlay((dir_.path() / "long.mp3").string());
    ASSERT_EQ(test::childProcesses().size(), 1u);
  }
  EXPECT_TRUE(test::childProcesses().empty());
}

TEST_F(LinuxFilePlayerTest, NextFileReapsAPreviousChildLeftRunning) {
  LinuxFilePlayer player;
  player.startPlay((dir_.path() / "long.mp3").string());
  player.startPlay((dir_.path() / "short.mp3").string());
  ASSERT_TRUE(waitUntilStopped(player));
  EXPECT_TRUE(test::childProcesses().empty());
}

TEST_F(LinuxFilePlayerTest, FailingPlayerOnANamedDeviceReportsItsReason) {
  // More chatter than a pipe holds: a player whose standard error is not drained would hang.
  std::ofstream(bin() / "aplay") << R"sh(#!/bin/sh
echo "aplay $*" >> "$FAKE_LOG"
i=0; while [ $i -lt 2000 ]; do echo "chatter line $i of a verbose player........" >&2; i=$((i+1)); done
echo "ALSA lib pcm.c:2666:(snd_pcm_open_noupdate) Unknown PCM $2" >&2
echo "aplay: main:831: audio open error: No such file or directory" >&2
exit 1
)sh";
  LinuxFilePlayer player("nosuchcard");
  std::string path = (dir_.path() / "tone.wav").string();
  player.startPlay(path);
  std::string failure;
  for (int i = 0; i < 500 && failure.empty(); ++i) {
    try {
      if (!player.isPlaying())
        break;
    } catch (const std::runtime_error& e) {
      failure = e.what();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(failure,
            "aplay failed with exit status 1: chatter line 1998 of a verbose player........ | "
            "chatter line 1999 of a verbose player........ | "
            "ALSA lib pcm.c:2666:(snd_pcm_open_noupdate) Unknown PCM nosuchcard | aplay: "
            "main:831: audio open error: No such file or directory");
  EXPECT_NE(logText().find("aplay -D nosuchcard " + path + "\n"), std::string::npos);
  EXPECT_TRUE(test::childProcesses().empty());

  LinuxFilePlayer mp3("nosuchcard");
  mp3.startPlay((dir_.path() / "a.mp3").string());
  ASSERT_TRUE(waitUntilStopped(mp3));
  EXPECT_NE(logText().find("mpg123 -o alsa -a nosuchcard "), std::string::npos);
}

TEST_F(LinuxFilePlayerTest, MissingPlayerProgramFailsTheStart) {
  ScopedEnv emptyPath("PATH", (dir_.path() / "nothing-here").string());
  LinuxFilePlayer player;
  try {
    player.startPlay((dir_.path() / "a.mp3").string());
    FAIL() << "start should fail";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find("mpg123"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(player.isPlaying());
  EXPECT_TRUE(test::childProcesses().empty());
}

// The line of /proc/<pid>/status that lists the processors the process may run on.
std::string processorsOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Cpus_allowed_list:", 0) == 0)
      return line;
  }
  return "";
}

TEST_F(LinuxFilePlayerTest, AReadyPlayerHandedItsFileMayRunOnEveryProcessorAgain) {
  const std::string wave = (dir_.path() / "tone.wav").string();
  std::ofstream(wave) << std::string(100000, 'x');
  auto ready = std::make_shared<ReadyPlayers>();
  ready->prepare({{"aplay"}});
  ASSERT_TRUE(waitForLog("aplay -"));
  LinuxFilePlayer player("", ready);
  player.prepareAtOnce(wave);
  ASSERT_TRUE(player.startAtOnce(wave));
  const auto children = test::childProcesses();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(processorsOf(children.front().pid), processorsOf(getpid()));
  EXPECT_TRUE(waitUntilStopped(player));  // the whole file passed: its input ended
}

}  // namespace
}  // namespace veltrano
