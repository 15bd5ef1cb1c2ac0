#include "foundation/StorageWrapper.hpp"
#include "support/LogCapture.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrano {
namespace {

struct Note {
  int version = 2;
  std::string text = "hello";
  std::vector<std::string> tags;
  static constexpr auto fields() {
    return std::tuple{field("version", &Note::version), field("text", &Note::text),
                      field("tags", &Note::tags)};
  }
  static bool checkAfterLoad(Json& loaded) { return loaded.value("version", 0) == 2; }
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(StorageWrapper, MissingFileLeavesDefaultsAndAutosaveWaitsForAChange) {
  test::TempDir dir;
  StorageWrapper<Note> store;
  auto path = dir.path() / "note.json";
  EXPECT_FALSE(store.load(path));
  EXPECT_EQ(store.path(), path);
  EXPECT_EQ(store->text, "hello");

  EXPECT_FALSE(store.saveAuto());  // baseline
  EXPECT_FALSE(store.saveAuto());
  EXPECT_FALSE(std::filesystem::exists(path));

  store->tags.push_back("\u00e9t\u00e9");
  EXPECT_TRUE(store.saveAuto());
  EXPECT_EQ(readFile(path), R"({"version": 2, "text": "hello", "tags": ["\u00e9t\u00e9"]})");
  EXPECT_FALSE(store.saveAuto());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "note.json.tmp"));
}

TEST(StorageWrapper, ChangeBeforeTheBaselineIsNotWrittenUntilTheNextChange) {
  test::TempDir dir;
  StorageWrapper<Note> store;
  store.load(dir.path() / "note.json");
  store->text = "changed early";
  EXPECT_FALSE(store.saveAuto());
  store->text = "changed again";
  EXPECT_TRUE(store.saveAuto());
}

TEST(StorageWrapper, LoadReplacesTheRecordFromTheFile) {
  test::TempDir dir;
  auto path = dir.path() / "note.json";
  writeFile(path, R"({"version": 2, "text": "stored", "unknown": 1})");
  StorageWrapper<Note> store;
  ASSERT_TRUE(store.load(path));
  EXPECT_EQ(store->text, "stored");
  EXPECT_TRUE(store->tags.empty());
}

TEST(StorageWrapper, RefusedFileIsKeptAsACopyBeforeAnythingOverwritesIt) {
  test::TempDir dir;
  auto path = dir.path() / "note.json";
  const std::string newer = R"({"version": 3, "text": "from a newer release"})";
  writeFile(path, newer);
  test::LogCapture log;
  StorageWrapper<Note> store;
  EXPECT_FALSE(store.load(path));
  EXPECT_EQ(store->text, "hello");

  std::filesystem::path copy;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().filename().string().starts_with("note.json.refused-")) copy = entry.path();
  }
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(readFile(copy), newer);
  EXPECT_TRUE(log.contains(copy.string()));
}

TEST(StorageWrapper, CorruptFileStopsWithAnErrorNamingFileAndProblem) {
  test::TempDir dir;
  auto path = dir.path() / "note.json";
  const std::pair<const char*, const char*> cases[] = {
      {"{\"version\": 2, ", "not valid JSON"},
      {"[1, 2]", "JSON object"},
      {R"({"version": 2, "text": 42})", "'text'"},
  };
  for (const auto& [content, problem] : cases) {
    writeFile(path, content);
    StorageWrapper<Note> store;
    try {
      store.load(path);
      ADD_FAILURE() << "accepted " << content;
    } catch (const StoreLoadError& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(path.string()), std::string::npos) << message;
      EXPECT_NE(message.find(problem), std::string::npos) << message;
    }
  }
}

TEST(StorageWrapper, FailedWriteIsRetriedByTheNextAutosave) {
  test::TempDir dir;
  StorageWrapper<Note> store;
  store.load(dir.path() / "missing-dir" / "note.json");
  store.saveAuto();
  store->text = "pending";
  EXPECT_THROW(store.saveAuto(), std::runtime_error);
  std::filesystem::create_directory(dir.path() / "missing-dir");
  EXPECT_TRUE(store.saveAuto());
  EXPECT_NE(readFile(dir.path() / "missing-dir" / "note.json").find("pending"), std::string::npos);
}

// A process killed at any moment of a save leaves a complete file: the old or the new one.
TEST(StorageWrapper, KilledWriterNeverLeavesAHalfWrittenFile) {
  test::TempDir dir;
  auto path = dir.path() / "note.json";
  {
    StorageWrapper<Note> seed;
    seed.load(path);
    seed.saveForce();
  }
  for (int round = 0; round < 20; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      StorageWrapper<Note> store;
      store.load(path);
      for (int i = 0;; ++i) {
        store->text = std::string(static_cast<std::size_t>(1000 + (i % 5000)), 'x');
        store.saveForce();
      }
    }
    usleep(static_cast<useconds_t>(2000 + round * 700));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    StorageWrapper<Note> reader;
    ASSERT_NO_THROW(ASSERT_TRUE(reader.load(path))) << "round " << round;
  }
}

}  // namespace
}  // namespace veltrano
