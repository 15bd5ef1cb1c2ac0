#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "http/Exchange.hpp"
#include "http/StaticFiles.hpp"
#include "http/TestBundle.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

TEST(RequestParsingTest, IntegersAreDecimalWithAnOptionalSign) {
  struct Case {
    const char* text;
    std::optional<int> value;
  };
  std::vector<Case> cases{{"0", 0},
                          {"-1", -1},
                          {"+13", 13},
                          {" 7 ", 7},
                          {"", std::nullopt},
                          {"1.5", std::nullopt},
                          {"0x10", std::nullopt},
                          {"+-1", std::nullopt},
                          {"--1", std::nullopt},
                          {"12abc", std::nullopt},
                          {"99999999999", std::nullopt}};
  for (const auto& c : cases) {
    if (c.value) {
      EXPECT_EQ(parseInteger(c.text, "offset"), *c.value) << c.text;
    } else {
      EXPECT_THROW(parseInteger(c.text, "offset"), std::invalid_argument) << c.text;
    }
  }
}

TEST(RequestParsingTest, StaticPathsNeverLeaveTheDirectory) {
  test::TempDir temp;
  auto root = temp.path() / "dist";
  test::writeTextFile(root / "index.html", "index");
  test::writeTextFile(root / "assets" / "app.js", "app");
  test::writeTextFile(temp.path() / "secret.txt", "secret");
  std::filesystem::create_symlink(temp.path() / "secret.txt", root / "leak.txt");
  std::filesystem::create_symlink(root / "assets" / "app.js", root / "alias.js");
  std::filesystem::create_directory_symlink(temp.path(), root / "up");

  struct Case {
    const char* path;
    bool served;
  };
  std::vector<Case> cases{
      {"index.html", true},
      {"assets/app.js", true},
      {"alias.js", true},
      {"assets/./app.js", true},
      {"../secret.txt", false},
      {"assets/../../secret.txt", false},
      {"assets/../index.html", false},
      {"/etc/passwd", false},
      {"..\\secret.txt", false},
      {"leak.txt", false},
      {"up/secret.txt", false},
      {"assets", false},
      {"missing.js", false},
      {"", false},
  };
  for (const auto& c : cases) {
    auto resolved = resolveStaticPath(root, c.path);
    EXPECT_EQ(resolved.has_value(), c.served) << c.path;
    if (resolved) {
      auto relative = resolved->lexically_relative(std::filesystem::canonical(root));
      EXPECT_NE(*relative.begin(), "..") << c.path;
    }
  }
  EXPECT_FALSE(resolveStaticPath(temp.path() / "no-such-dir", "index.html"));
}

}  // namespace
}  // namespace veltrano
