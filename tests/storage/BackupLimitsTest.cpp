#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>

#include "foundation/Crypto.hpp"
#include "storage/Backups.hpp"
#include "support/ReleasePaths.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

la_ssize_t appendTo(struct archive*, void* out, const void* buffer, size_t length) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(buffer), length);
  return static_cast<la_ssize_t>(length);
}

// A tar.gz of the files; raw: the first file's content alone, gzip-compressed. Nothing follows
// the compressed stream, so archives can be chained.
std::string pack(const Files& files, bool raw = false) {
  std::string out;
  struct archive* writer = archive_write_new();
  archive_write_add_filter_gzip(writer);
  archive_write_set_filter_option(writer, "gzip", "compression-level", "1");
  raw ? archive_write_set_format_raw(writer) : archive_write_set_format_pax_restricted(writer);
  archive_write_set_bytes_in_last_block(writer, 1);
  archive_write_open(writer, &out, nullptr, appendTo, nullptr);
  for (const auto& [name, content] : files) {
    archive_entry* header = archive_entry_new();
    archive_entry_set_pathname(header, name.c_str());
    archive_entry_set_filetype(header, AE_IFREG);
    archive_entry_set_size(header, static_cast<la_int64_t>(content.size()));
    archive_write_header(writer, header);
    archive_write_data(writer, content.data(), content.size());
    archive_entry_free(header);
  }
  archive_write_free(writer);
  return out;
}

// A complete backup of the store texts with one audio file.
std::string backupOf(const StoreTexts& stores, const std::string& audio) {
  Files files = {{"_db.json", stores.db},
                 {"_shadow.json", stores.shadow},
                 {"cache.json", stores.cache},
                 {"audio/a.wav", audio}};
  Json listed = Json::array();
  for (const auto& [name, content] : files)
    listed.push_back({{"name", name}, {"size", content.size()}, {"sha256", getHash(content)}});
  Json manifest = {{"format", "veltrano-backup"}, {"formatVersion", 1}, {"files", listed}};
  files.emplace_back("manifest.json", manifest.dump());
  return pack(files);
}

std::string backupWith(Stores& stores, const std::string& audio) {
  auto access = stores.lock();
  return backupOf({toJson(access.db()), toJson(access.shadow()), toJson(access.cache())}, audio);
}

std::set<std::filesystem::path> filesBelow(const std::filesystem::path& directory) {
  return {std::filesystem::recursive_directory_iterator(directory), {}};
}

class BackupLimitsTest : public ::testing::Test {
 protected:
  BackupLimitsTest() : paths(releasePathsIn(temp.path())) {
    std::ofstream(temp.path() / "bundle" / "assets" / "version.info") << "1.0";
    std::filesystem::create_directories(paths.getUserDataPath());
  }

  Backups::RestoreOutcome restore(const std::string& archive) {
    std::ofstream(temp.path() / "upload", std::ios::binary) << archive;
    return backups.restoreArchive(temp.path() / "upload", {});
  }

  TempDir temp;
  Paths paths;
  Clock clock{[] { return ClockValue{2026, 3, 9, 10, 0, 0, 0, 68}; }};
  Stores stores;
  Backups backups{stores, paths, clock};
};

TEST_F(BackupLimitsTest, ArchivesThatUnpackBeyondTheLimitsAreRefusedWithNothingChanged) {
  // A thousand gzip members of a mebibyte of zeros: a gigabyte in a megabyte.
  std::string zeros = pack({{"zeros", std::string(1 << 20, '\0')}}, /*raw=*/true);
  std::string bomb;
  for (int i = 0; i < 1000; ++i)
    bomb += zeros;
  std::string noise;  // compresses about twofold, as audio barely does
  for (int i = 0; noise.size() < (1 << 20); ++i)
    noise += getHash(std::to_string(i));
  const std::vector<std::pair<std::string, std::string>> refused = {
      {bomb, "goes on after its end"},
      // Behind a complete backup, where a reader that stops at the end marker would not look.
      {backupWith(stores, noise) + bomb, "goes on after its end"},
      {pack({{"_db.json", std::string((64 << 20) + 1, ' ')}}),
       "\"_db.json\" goes beyond the 64 MB such a file may have"},
      {backupWith(stores, std::string(4 << 20, '\0')),
       "unpacks to more than 100 times its own size"},
  };
  std::string db = toJson(stores.lock().db());
  auto files = filesBelow(paths.getUserDataPath());
  for (const auto& [archive, reason] : refused) {
    try {
      restore(archive);
      ADD_FAILURE() << "taken; expected: " << reason;
    } catch (const BackupRefused& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(toJson(stores.lock().db()), db) << reason;
    EXPECT_EQ(filesBelow(paths.getUserDataPath()), files) << reason;
  }
  EXPECT_FALSE(restore(backupWith(stores, noise)).snapshot.empty());
}

TEST_F(BackupLimitsTest, DatabasesTheDashboardWouldRefuseAreRefusedWithNothingChanged) {
  auto texts = [&](const std::function<void(DB&)>& change) {
    DB db;
    db.loadFactoryDefault();
    db.ensureFactorySongsAvailable();
    AudioAsset song;
    song.name = "bell";
    song.filename = "a.wav";
    db.songs.add(song, "bell");
    change(db);
    return StoreTexts{toJson(db), toJson(Shadow{}), toJson(Cache{})};
  };
  const std::vector<std::pair<std::function<void(DB&)>, std::string>> refused = {
      {[](DB& db) { db.settings.alarmSignalId = "gone"; },
       "The alarm signal \"gone\" is not among the signals"},
      {[](DB& db) { db.settings.alarmSignalId = "NULL"; }, "The alarm signal \"NULL\""},
      {[](DB& db) { db.settings.announcementSignalId = "gone"; },
       "The announcement lead-in signal \"gone\" is not among the signals"},
      {[](DB& db) { db.songs.get("bell").filename = "../../a.wav"; },
       "an audio file of an unusable name: \"../../a.wav\", of \"bell\""},
      {[](DB& db) { db.songs.get(FACTORY_DEFAULT_SIGNAL_ID_MELODY).filename = "../s-melody.mp3"; },
       "unusable name: \"../s-melody.mp3\""},
  };
  std::string before = toJson(stores.lock().db());
  auto files = filesBelow(paths.getUserDataPath());
  for (const auto& [change, reason] : refused) {
    try {
      restore(backupOf(texts(change), "RIFF"));
      ADD_FAILURE() << "taken; expected: " << reason;
    } catch (const BackupRefused& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(toJson(stores.lock().db()), before) << reason;
    EXPECT_EQ(filesBelow(paths.getUserDataPath()), files) << reason;
  }

  // What interrupted restores left goes with the next one; nothing else does.
  const auto data = paths.getUserDataPath();
  const std::vector<std::string> leftovers = {
      ".restore-0f3a0c7e-5d1b-4c4e-9a55-3f1e2b9c8d7a",
      ".restore-0f3a0c7e-5d1b-4c4e-9a55-3f1e2b9c8d7b.tar.gz"};
  const std::vector<std::string> others = {".restore-notes.txt", "restore-0f3a0c7e.tar.gz",
                                           ".restore-0f3a0c7e-5d1b-4c4e-9a55-3f1e2b9c8d7a.wav"};
  for (const auto& name : leftovers)
    std::filesystem::create_directories(data / name);
  for (const auto& name : others)
    std::ofstream(data / name) << "mine";
  restore(backupOf(texts([](DB& db) { db.settings.announcementSignalId = "NULL"; }), "RIFF"));
  EXPECT_EQ(stores.lock().db().settings.announcementSignalId, "NULL");
  for (const auto& name : leftovers)
    EXPECT_FALSE(std::filesystem::exists(data / name)) << name;
  for (const auto& name : others)
    EXPECT_TRUE(std::filesystem::exists(data / name)) << name;
}

}  // namespace
}  // namespace veltrano::test
