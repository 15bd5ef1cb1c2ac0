#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <fstream>
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

// A complete backup of the stores with one audio file.
std::string backupWith(Stores& stores, const std::string& audio) {
  Files files;
  {
    auto access = stores.lock();
    files = {{"_db.json", toJson(access.db())},
             {"_shadow.json", toJson(access.shadow())},
             {"cache.json", toJson(access.cache())},
             {"audio/a.wav", audio}};
  }
  Json listed = Json::array();
  for (const auto& [name, content] : files)
    listed.push_back({{"name", name}, {"size", content.size()}, {"sha256", getHash(content)}});
  Json manifest = {{"format", "veltrano-backup"}, {"formatVersion", 1}, {"files", listed}};
  files.emplace_back("manifest.json", manifest.dump());
  return pack(files);
}

std::set<std::filesystem::path> filesBelow(const std::filesystem::path& directory) {
  return {std::filesystem::recursive_directory_iterator(directory), {}};
}

TEST(BackupLimitsTest, ArchivesThatUnpackBeyondTheLimitsAreRefusedWithNothingChanged) {
  TempDir temp;
  Paths paths = releasePathsIn(temp.path());
  std::ofstream(temp.path() / "bundle" / "assets" / "version.info") << "1.0";
  std::filesystem::create_directories(paths.getUserDataPath());
  Clock clock([] { return ClockValue{2026, 3, 9, 10, 0, 0, 0, 68}; });
  Stores stores;
  Backups backups(stores, paths, clock);
  auto restore = [&](const std::string& archive) {
    std::ofstream(temp.path() / "upload", std::ios::binary) << archive;
    return backups.restoreArchive(temp.path() / "upload", {});
  };

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

}  // namespace
}  // namespace veltrano::test
