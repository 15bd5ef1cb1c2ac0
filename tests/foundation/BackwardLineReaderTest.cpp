#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "foundation/BackwardLineReader.hpp"
#include "support/TempDir.hpp"

namespace veltrano {
namespace {

std::vector<std::string> linesBackward(const std::filesystem::path& file, std::size_t maxLine) {
  BackwardLineReader reader(file, maxLine);
  std::vector<std::string> lines;
  while (auto line = reader.previous())
    lines.push_back(*line);
  return lines;
}

TEST(BackwardLineReader, GivesTheLinesLastFirstAndSkipsOverlongOnesAcrossBlocks) {
  test::TempDir dir;
  const auto file = dir.path() / "log.jsonl";
  const std::string atLimit(100'000, 'a');
  const std::string overlong(300'000, 'b');
  const std::string justOver(100'001, 'c');
  struct Case {
    std::string content;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"", {}},
      {"\n", {""}},
      {"one\ntwo\n", {"two", "one"}},
      {"one\ntwo", {"two", "one"}},
      {"one\n\ntwo\n", {"two", "", "one"}},
      {atLimit + "\n" + overlong + "\nlast\n", {"last", atLimit}},
      {overlong + "\n" + justOver + "\n" + atLimit, {atLimit}},
      {"first\n" + overlong, {"first"}},
      {"first\n" + justOver + "\n", {"first"}},
  };
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.content;
    EXPECT_EQ(linesBackward(file, atLimit.size()), c.expected) << c.content.substr(0, 20);
  }
  EXPECT_TRUE(linesBackward(dir.path() / "missing", 10).empty());
}

}  // namespace
}  // namespace veltrano
