#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/HostPlatform.hpp"
#include "foundation/Paths.hpp"
#include "foundation/ProcessRunner.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

RuntimeEnvironment development(const fs::path& sourceDir) {
  RuntimeEnvironment env;
  env.sourceDir = sourceDir;
  return env;
}

RuntimeEnvironment release(const fs::path& bundleDir, bool windows) {
  RuntimeEnvironment env;
  env.release = true;
  env.bundleDir = bundleDir;
  env.windows = windows;
  return env;
}

TEST(GetFileNameAndExtension, SplitsOffTheLastExtensionOfTheFinalComponent) {
  struct Case {
    std::string input, name, extension;
  };
  const std::vector<Case> cases = {
      {"Bell.MP3", "Bell", "mp3"},
      {"SONG.Mp3", "SONG", "mp3"},
      {"a.b.wav", "a.b", "wav"},
      {"noext", "noext", ""},
      {".hidden", ".hidden", ""},
      {"..hidden", "..hidden", ""},
      {".hidden.WAV", ".hidden", "wav"},
      {"...", "...", ""},
      {"trailing.", "trailing", ""},
      {"dir.d/file", "dir.d/file", ""},
      {"dir.d/.hidden", "dir.d/.hidden", ""},
      {"dir/Bell.Mp4", "dir/Bell", "mp4"},
      {"dir.d\\file", "dir.d\\file", ""},
      {"Ünïcode.MP3", "Ünïcode", "mp3"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    auto [name, extension] = getFileNameAndExtension(c.input);
    EXPECT_EQ(name, c.name) << c.input;
    EXPECT_EQ(extension, c.extension) << c.input;
  }
}

TEST(IsWindowsPlatform, OnlyWin32AndCygwinCount) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"win32", true},   {"cygwin", true}, {"win32-x64", true}, {"linux", false},
      {"darwin", false}, {"msys", false},  {"", false},         {"xwin32", false},
  };
  for (const auto& [platform, expected] : cases) {
    EXPECT_EQ(isWindowsPlatform(platform), expected) << platform;
  }
}

TEST(Paths, DevelopmentModeUsesTheCheckout) {
  test::TempDir tmp;
  auto root = realPath(tmp.path());
  // A source dir given with ".." ends up clean.
  Paths paths(development(tmp.path() / "src" / "app" / ".."));
  EXPECT_FALSE(paths.isRelease());
  EXPECT_EQ(paths.getAssetPath("p-ping.mp3"), root / "src" / "assets" / "p-ping.mp3");
  EXPECT_EQ(paths.getHtmlDir(), root / "src" / "web-ui" / "dist");
  EXPECT_EQ(paths.getUserDataPath(), root / "src" / "userdata");
  EXPECT_FALSE(fs::exists(root / "src" / "userdata")) << "only getUserFilePath creates it";
}

TEST(Paths, ReleaseModeUsesTheBundleAndTheHomeOrAppData) {
  test::TempDir tmp;
  auto root = realPath(tmp.path());
  fs::create_directories(root / "bundle-real");
  fs::create_directory_symlink(root / "bundle-real", root / "bundle");

  auto linuxEnv = release(root / "bundle", false);
  linuxEnv.home = root / "home" / "u";
  linuxEnv.appData = root / "ignored";
  Paths onLinux(linuxEnv);
  EXPECT_TRUE(onLinux.isRelease());
  EXPECT_EQ(onLinux.getAssetPath("s-bigben.mp3"), root / "bundle-real" / "assets" / "s-bigben.mp3");
  EXPECT_EQ(onLinux.getHtmlDir(), root / "bundle-real" / "web-ui" / "dist");
  EXPECT_EQ(onLinux.getUserDataPath(), root / "home" / "u" / ".VeltranoPlayer");

  auto windowsEnv = release(root / "bundle", true);
  windowsEnv.appData = root / "Roaming";
  windowsEnv.home = root / "ignored";
  Paths onWindows(windowsEnv);
  EXPECT_TRUE(onWindows.isWindows());
  EXPECT_EQ(onWindows.getUserDataPath(), root / "Roaming" / "VeltranoPlayer");
}

TEST(Paths, ReleaseWithoutItsUserDirectoryVariableFails) {
  // An empty value must not quietly put the data into the working directory.
  for (bool windows : {true, false}) {
    for (std::optional<fs::path> value : {std::optional<fs::path>(), std::optional(fs::path())}) {
      auto env = release("/bundle", windows);
      (windows ? env.appData : env.home) = value;
      EXPECT_THROW(Paths(env).getUserDataPath(), std::out_of_range) << windows;
      EXPECT_THROW(Paths(env).getUserFilePath("_db.json"), std::out_of_range) << windows;
    }
  }
}

TEST(RuntimeEnvironment, DecidesTheModeFromTheBundleVariableAndTheInstallation) {
  test::TempDir tmp;
  const auto bundle = tmp.path() / "bundle";
  const auto prefix = tmp.path() / "usr";
  fs::create_directories(bundle);
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "share" / "veltrano-player");
  writeFile(tmp.path() / "a-file", "x");

  struct Case {
    std::string label;
    std::optional<fs::path> bundleVariable;
    fs::path executable;
    bool release;
    fs::path bundleDir;
  };
  const std::vector<Case> cases = {
      {"nothing", std::nullopt, tmp.path() / "build" / "veltrano-player", false, {}},
      {"unknown executable", std::nullopt, {}, false, {}},
      {"variable", bundle, tmp.path() / "build" / "veltrano-player", true, bundle},
      {"variable wins", bundle, prefix / "bin" / "veltrano-player", true, bundle},
      {"installed", std::nullopt, prefix / "bin" / "veltrano-player", true,
       installedBundleDir(prefix / "bin" / "veltrano-player")},
      {"variable not a dir",
       tmp.path() / "a-file",
       tmp.path() / "x" / "veltrano-player",
       false,
       {}},
      {"variable missing dir, installed", tmp.path() / "nope", prefix / "bin" / "veltrano-player",
       true, installedBundleDir(prefix / "bin" / "veltrano-player")},
      {"empty variable", fs::path(), tmp.path() / "x" / "veltrano-player", false, {}},
  };
  test::LogCapture quiet;
  for (const auto& c : cases) {
    HostFacts facts;
    facts.bundleVariable = c.bundleVariable;
    facts.executablePath = c.executable;
    facts.platform = "cygwin";
    facts.sourceDir = "/checkout";
    auto env = RuntimeEnvironment::decide(facts);
    EXPECT_EQ(env.release, c.release) << c.label;
    EXPECT_EQ(env.bundleDir, c.bundleDir) << c.label;
    EXPECT_TRUE(env.windows) << c.label;
    EXPECT_EQ(env.sourceDir, "/checkout") << c.label;
  }
  // The installed bundle resolves to <prefix>/share/veltrano-player.
  EXPECT_EQ(
      Paths(release(installedBundleDir(prefix / "bin" / "veltrano-player"), false)).getHtmlDir(),
      realPath(prefix / "share" / "veltrano-player" / "web-ui" / "dist"));
}

TEST(RuntimeEnvironment, TheTestBinaryRunsInDevelopmentFromTheCheckout) {
  if (environmentPath("VELTRANO_BUNDLE")) {
    GTEST_SKIP() << "VELTRANO_BUNDLE is set";
  }
  EXPECT_EQ(currentExecutablePath().filename(), "test_foundation");
  auto env = RuntimeEnvironment::fromProcess();
  EXPECT_FALSE(env.release);
  EXPECT_EQ(env.sourceDir, VELTRANO_SOURCE_DIR);
  EXPECT_TRUE(env.home.has_value());
}

TEST(RuntimeEnvironment, WarnsAboutABundleVariableThatIsNoDirectory) {
  test::LogCapture log;
  HostFacts facts;
  facts.bundleVariable = "/no/such/bundle";
  RuntimeEnvironment::decide(facts);
  EXPECT_TRUE(log.contains("VELTRANO_BUNDLE is not a directory, ignored: /no/such/bundle"));
}

TEST(Paths, UserFilePathCreatesTheDirectoryWithItsParents) {
  test::TempDir tmp;
  auto env = release(tmp.path(), false);
  env.home = tmp.path() / "a" / "b";
  Paths paths(env);
  auto dir = realPath(tmp.path()) / "a" / "b" / ".VeltranoPlayer";

  EXPECT_EQ(paths.getUserFilePath("_db.json"), dir / "_db.json");
  EXPECT_TRUE(fs::is_directory(dir));
  auto bare = paths.getUserFilePath().string();
  EXPECT_EQ(bare, dir.string() + static_cast<char>(fs::path::preferred_separator));
  EXPECT_NE(paths.getUserFilePath("_db.json").string().back(), fs::path::preferred_separator);
}

TEST(Paths, UserFilePathFailsWhenAFileIsInTheWay) {
  test::TempDir tmp;
  writeFile(tmp.path() / "src" / "userdata", "not a directory");
  Paths paths(development(tmp.path() / "src"));
  EXPECT_THROW(paths.getUserFilePath("_db.json"), fs::filesystem_error);
}

TEST(Paths, ConcurrentFirstCallsAllGetTheDirectory) {
  test::TempDir tmp;
  Paths paths(development(tmp.path() / "fresh" / "checkout"));
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (std::size_t i = 0; i < failures.size(); ++i) {
    threads.emplace_back([&, i] {
      try {
        paths.getUserFilePath("cache.json");
      } catch (const std::exception&) {
        failures[i] = 1;
      }
    });
  }
  for (auto& t : threads) {
    t.join();
  }
  EXPECT_EQ(std::count(failures.begin(), failures.end(), 1), 0);
  EXPECT_TRUE(fs::is_directory(tmp.path() / "fresh" / "checkout" / "userdata"));
}

TEST(Paths, NamesThatLeaveTheirDirectoryAreRefused) {
  test::TempDir tmp;
  auto env = development(tmp.path());
  writeFile(tmp.path() / "precious", "keep");
  for (bool windows : {false, true}) {
    env.windows = windows;
    Paths paths(env);
    for (const std::string& name :
         std::vector<std::string>{"../precious", "..", ".", "/etc/passwd", "sub/x.mp3",
                                  "..\\precious", std::string("a\0b", 3)}) {
      EXPECT_THROW(paths.getUserFilePath(name), std::invalid_argument) << name;
      EXPECT_THROW(paths.removeUserFile(name), std::invalid_argument) << name;
      EXPECT_THROW(paths.getAssetPath(name), std::invalid_argument) << name;
    }
    EXPECT_EQ(windows, [&] {
      try {
        paths.getUserFilePath("C:x.mp3");
        return false;
      } catch (const std::invalid_argument&) {
        return true;
      }
    }());
  }
  EXPECT_TRUE(fs::exists(tmp.path() / "precious"));
}

TEST(Paths, RemoveUserFileDeletesAndReportsAMissingFile) {
  test::TempDir tmp;
  Paths paths(development(tmp.path()));
  writeFile(paths.getUserFilePath("song.mp3"), "data");
  paths.removeUserFile("song.mp3");
  EXPECT_FALSE(fs::exists(paths.getUserFilePath("song.mp3")));
  EXPECT_THROW(paths.removeUserFile("song.mp3"), fs::filesystem_error);
  EXPECT_THROW(paths.removeUserFile(""), std::invalid_argument);
  EXPECT_TRUE(fs::is_directory(paths.getUserDataPath()));
}

TEST(Paths, ReleaseVersionIsTheTrimmedStamp) {
  test::TempDir tmp;
  Paths missing(release(tmp.path(), false));
  EXPECT_THROW(missing.getVersion(), std::runtime_error);

  writeFile(tmp.path() / "assets" / "version.info", "  1.4.2\r\n\n");
  Paths paths(release(tmp.path(), false));
  EXPECT_EQ(paths.getVersion(), "1.4.2");
}

TEST(Paths, DevelopmentVersionOutsideAGitTreeIsDQuestionMark) {
  test::TempDir tmp;
  EXPECT_EQ(Paths(development(tmp.path())).getVersion(), "D?");
}

TEST(Paths, DevelopmentVersionDescribesTheCheckoutNotTheWorkingDirectory) {
  test::TempDir tmp;
  auto git = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"git", "-C", tmp.path().string(), "-c", "user.name=t", "-c",
                               "user.email=t@example.org", "-c", "commit.gpgsign=false"});
    return runProcess(args);
  };
  if (!git({"init", "-q"}).started) {
    GTEST_SKIP() << "git is not installed";
  }
  writeFile(tmp.path() / "f", "1");
  ASSERT_EQ(git({"add", "f"}).exitStatus, 0);
  ASSERT_EQ(git({"commit", "-q", "-m", "c"}).exitStatus, 0);
  auto head = git({"rev-parse", "--short", "HEAD"}).standardOutput;
  head.erase(head.find_last_not_of("\n") + 1);

  Paths clean(development(tmp.path()));
  EXPECT_EQ(clean.getVersion(), "D" + head);
  writeFile(tmp.path() / "f", "2");
  EXPECT_EQ(clean.getVersion(), "D" + head) << "worked out once";
  EXPECT_EQ(Paths(development(tmp.path())).getVersion(), "D" + head + "-dirty");
}

TEST(RunProcess, ReportsStartExitStatusAndOutput) {
  struct Case {
    std::vector<std::string> argv;
    bool started;
    int exitStatus;
    std::string output;
  };
  const std::vector<Case> cases = {
      {{"printf", "%s", "hello world"}, true, 0, "hello world"},
      {{"sh", "-c", "echo out; echo err >&2; exit 3"}, true, 3, "out\n"},
      {{"sh", "-c", "kill -TERM $$"}, true, 128 + 15, ""},
      {{"no-such-program-veltrano"}, false, -1, ""},
      {{}, false, -1, ""},
  };
  for (const auto& c : cases) {
    auto outcome = runProcess(c.argv);
    auto label = c.argv.empty() ? std::string("(empty)") : c.argv.back();
    EXPECT_EQ(outcome.started, c.started) << label;
    EXPECT_EQ(outcome.exitStatus, c.exitStatus) << label;
    EXPECT_EQ(outcome.standardOutput, c.output) << label;
  }
}

}  // namespace
}  // namespace veltrano
