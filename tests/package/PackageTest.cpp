#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "app/PlayerProcess.hpp"
#include "foundation/Json.hpp"
#include "foundation/ProcessRunner.hpp"
#include "http/TestBundle.hpp"
#include "remote/ServiceStub.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

namespace fs = std::filesystem;

// Runs a shell script with its arguments as $1, $2, ...; returns its status and all it wrote.
ProcessOutcome shell(const std::string& script, const std::vector<std::string>& arguments = {}) {
  std::vector<std::string> argv{"sh", "-c", "(" + script + ") 2>&1", "sh"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProcess(argv);
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.pop_back();
  return text;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(PackageTest, PackageLintsVerifiesAndRunsUnpacked) {
  TempDir temp;
  const fs::path source = VELTRANO_SOURCE_DIR;
  const fs::path work = temp.path() / "source";
  const fs::path out = temp.path() / "out";
  fs::create_directories(out);
  fs::create_directories(work);
  fs::copy(source / "debian", work / "debian", fs::copy_options::recursive);

  auto built =
      shell("cd \"$1\" && VELTRANO_PREBUILT=\"$2\" VELTRANO_DEB_DIR=\"$3\" debian/rules binary",
            {work.string(), VELTRANO_TEST_BINARY_DIR, out.string()});
  ASSERT_EQ(built.exitStatus, 0) << built.standardOutput;
  std::string version = trimmed(shell("dpkg-parsechangelog -l \"$1\" -S Version",
                                      {(source / "debian" / "changelog").string()})
                                    .standardOutput);
  std::string arch = trimmed(shell("dpkg --print-architecture").standardOutput);
  const fs::path deb = out / ("veltrano-player_" + version + "_" + arch + ".deb");
  ASSERT_TRUE(fs::exists(deb)) << deb;

  auto lintian = shell("lintian --fail-on error \"$1\"", {deb.string()});
  std::cout << "lintian:\n" << lintian.standardOutput << std::endl;
  EXPECT_EQ(lintian.exitStatus, 0) << lintian.standardOutput;
  EXPECT_FALSE(std::regex_search(lintian.standardOutput, std::regex("(^|\n)E: ")));

  std::string files = shell("dpkg-deb -c \"$1\"", {deb.string()}).standardOutput;
  for (const char* file :
       {"./usr/bin/veltrano-player", "./usr/libexec/veltrano-player/veltrano-calendar-reader",
        "./usr/share/veltrano-player/assets/version.info",
        "./usr/share/veltrano-player/assets/p-ping.mp3",
        "./usr/share/veltrano-player/web-ui/dist/index.html", "./etc/default/veltrano-player",
        "./lib/systemd/system/veltrano-player.service",
        "./usr/lib/systemd/user/veltrano-player.service"}) {
    EXPECT_TRUE(contains(files, std::string(file) + "\n")) << file << " missing in\n" << files;
  }
  std::string depends = shell("dpkg-deb -f \"$1\" Depends", {deb.string()}).standardOutput;
  EXPECT_TRUE(contains(depends, "mpg123") && contains(depends, "alsa-utils")) << depends;
  std::string scripts = shell("dpkg-deb -I \"$1\" postinst", {deb.string()}).standardOutput;
  EXPECT_TRUE(contains(scripts, "deb-systemd-helper") && contains(scripts, "adduser")) << scripts;

  const fs::path root = temp.path() / "root";
  ASSERT_EQ(shell("dpkg-deb -x \"$1\" \"$2\"", {deb.string(), root.string()}).exitStatus, 0);
  EXPECT_EQ(trimmed(readTextFile(root / "usr/share/veltrano-player/assets/version.info")), version);
  // The dashboard's default language is an option of the service, unset (English) as shipped.
  EXPECT_TRUE(
      contains(readTextFile(root / "etc/default/veltrano-player"), "\nVELTRANO_LANGUAGE=\n"));
  EXPECT_TRUE(contains(readTextFile(root / "lib/systemd/system/veltrano-player.service"),
                       " --language=${VELTRANO_LANGUAGE} "));

  // Both units as installed, but starting the unpacked program; systemd-analyze exits 0 even
  // for unknown keys and bad values, so any word from it is a failure.
  const fs::path units = temp.path() / "units";
  fs::create_directories(units / "runtime");
  for (const auto& [unit, userFlag] : std::vector<std::pair<std::string, std::string>>{
           {"lib/systemd/system/veltrano-player.service", ""},
           {"usr/lib/systemd/user/veltrano-player.service", "--user"}}) {
    fs::create_directories(units / userFlag);
    auto verified = shell(
        "sed \"s|/usr/bin/veltrano-player|$2/usr/bin/veltrano-player|\" \"$2/$1\" > "
        "\"$3/veltrano-player.service\" && "
        "XDG_RUNTIME_DIR=\"$4\" systemd-analyze verify $5 \"$3/veltrano-player.service\"",
        {unit, root.string(), (units / userFlag).string(), (units / "runtime").string(), userFlag});
    EXPECT_EQ(verified.exitStatus, 0) << unit << "\n" << verified.standardOutput;
    EXPECT_EQ(verified.standardOutput, "") << unit;
  }
  auto security = shell(
      "systemd-analyze security --offline=true --root=\"$1\" "
      "\"$1/lib/systemd/system/veltrano-player.service\"",
      {root.string()});
  std::smatch score;
  std::regex overall("Overall exposure level for veltrano-player.service: ([0-9.]+) ");
  ASSERT_TRUE(std::regex_search(security.standardOutput, score, overall))
      << security.standardOutput;
  std::cout << "security exposure: " << score[1] << std::endl;
  EXPECT_LE(std::stod(score[1]), 2.5) << security.standardOutput;

  // The unpacked program, with no bundle named: a release found beside its executable.
  TestBundle home(temp.path() / "run");
  ServiceStub stub;
  int port = freePort();
  // Started as the service starts it with the options file as shipped.
  PlayerProcess player(home, port, stub.url(), {"--audio-device=default", "--language="},
                       {{"VELTRANO_BUNDLE", ""}}, root / "usr/bin/veltrano-player");
  ASSERT_TRUE(player.waitUntilServing()) << player.output();
  EXPECT_TRUE(contains(player.output(), "Veltrano Player v" + version + "\n")) << player.output();
  EXPECT_TRUE(fs::is_directory(home.userData()));
  httplib::Client http("127.0.0.1", port);
  http.set_read_timeout(10, 0);
  EXPECT_EQ(http.Get("/")->body,
            readTextFile(root / "usr/share/veltrano-player/web-ui/dist/index.html"));
  EXPECT_EQ(http.Get("/api/trigger/playSignal/ID_ping")->body, "ok");
  EXPECT_EQ(Json::parse(http.Get("/api/get/info")->body)["language"], "en");
  // Calendar files are read by the reader program installed with it.
  auto preview = http.Post(
      "/db/calendar/preview-ics",
      httplib::MultipartFormDataItems{
          {"file",
           "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Term\r\nDTSTART;VALUE=DATE:20270104\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n",
           "terms.ics", "text/calendar"},
          {"from", "2027-01-01", "", ""},
          {"to", "2027-01-31", "", ""}});
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->body, R"([{"summary":"Term","start":"2027-01-04","end":"2027-01-04"}])");
  const std::string ping =
      "mpg123 -o alsa -a default " +
      fs::canonical(root / "usr/share/veltrano-player/assets/p-ping.mp3").string();
  for (int i = 0; i < 1000 && !contains(player.playerLog(), ping); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(contains(player.playerLog(), ping)) << player.playerLog();
}

}  // namespace
}  // namespace veltrano::test
