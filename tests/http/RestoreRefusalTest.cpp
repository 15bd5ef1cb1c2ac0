#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/Crypto.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

struct Entry {
  enum Kind { FILE, SYMLINK, HARDLINK };
  std::string name;
  std::string content;
  Kind kind = FILE;
};

la_ssize_t appendTo(struct archive*, void* out, const void* buffer, size_t length) {
  static_cast<std::string*>(out)->append(static_cast<const char*>(buffer), length);
  return static_cast<la_ssize_t>(length);
}

// A tar.gz written by libarchive itself, so that links and raw names can be made.
std::string tarGz(const std::vector<Entry>& entries) {
  std::string out;
  struct archive* writer = archive_write_new();
  archive_write_add_filter_gzip(writer);
  archive_write_set_format_pax_restricted(writer);
  archive_write_open(writer, &out, nullptr, appendTo, nullptr);
  for (const auto& e : entries) {
    archive_entry* header = archive_entry_new();
    archive_entry_set_pathname(header, e.name.c_str());
    archive_entry_set_perm(header, 0644);
    if (e.kind == Entry::SYMLINK) {
      archive_entry_set_filetype(header, AE_IFLNK);
      archive_entry_set_symlink(header, e.content.c_str());
    } else if (e.kind == Entry::HARDLINK) {
      archive_entry_set_filetype(header, AE_IFREG);
      archive_entry_set_hardlink(header, e.content.c_str());
    } else {
      archive_entry_set_filetype(header, AE_IFREG);
      archive_entry_set_size(header, static_cast<la_int64_t>(e.content.size()));
    }
    archive_write_header(writer, header);
    if (e.kind == Entry::FILE)
      archive_write_data(writer, e.content.data(), e.content.size());
    archive_entry_free(header);
  }
  archive_write_free(writer);
  return out;
}

// A backup's entries with the manifest that lists them; extra entries come after, unlisted.
std::vector<Entry> backup(const std::map<std::string, std::string>& files,
                          std::vector<Entry> extra = {}, int formatVersion = 1) {
  std::vector<Entry> entries;
  Json listed = Json::array();
  for (const auto& [name, content] : files) {
    entries.push_back({name, content});
    listed.push_back({{"name", name}, {"size", content.size()}, {"sha256", getHash(content)}});
  }
  Json manifest = {{"format", "veltrano-backup"},
                   {"formatVersion", formatVersion},
                   {"programVersion", "test"},
                   {"created", "2026-03-09T10:00:00"},
                   {"files", listed}};
  entries.push_back({"manifest.json", manifest.dump()});
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

class RestoreRefusalTest : public ServerFixture {
 protected:
  // Every file below the data directory with the digest of its content.
  std::map<std::string, std::string> dataFiles() {
    std::map<std::string, std::string> files;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(paths_.getUserFilePath())) {
      if (entry.is_regular_file())
        files[entry.path().string()] = getHash(readTextFile(entry.path()));
    }
    return files;
  }
};

TEST_F(RestoreRefusalTest, HostileOrDamagedArchivesAreRefusedWithNothingChanged) {
  std::map<std::string, std::string> stores;
  {
    auto access = stores_.lock();
    stores = {{"_db.json", toJson(access.db())},
              {"_shadow.json", toJson(access.shadow())},
              {"cache.json", toJson(access.cache())}};
  }
  auto with = [&](const std::string& name, const std::string& content) {
    auto changed = stores;
    changed[name] = content;
    return changed;
  };
  Json newer = Json::parse(stores["_db.json"]);
  newer["dbVersion"] = 3;
  Json referring = Json::parse(stores["_db.json"]);
  referring["songs"]["mine"] = {{"name", "Mine"}, {"filename", "mine.wav"}, {"storageCategory", 1}};
  std::string valid = get("/backup")->body;
  std::vector<Entry> tampered = backup(stores);
  tampered[0].content += " ";

  struct Case {
    const char* what;
    std::string archive;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"not an archive", "just some text", "not a tar.gz archive"},
      {"absolute path", tarGz(backup(stores, {{"/etc/cron.d/x", "x"}})), "an absolute path"},
      {"dot-dot", tarGz(backup(stores, {{"audio/../../x.wav", "x"}})), "points outside"},
      {"symbolic link", tarGz(backup(stores, {{"audio/a.wav", "/etc/passwd", Entry::SYMLINK}})),
       "links are refused"},
      {"hard link", tarGz(backup(stores, {{"audio/a.wav", "_db.json", Entry::HARDLINK}})),
       "links are refused"},
      {"unknown entry", tarGz(backup(stores, {{"notes.txt", "x"}})), "which no backup has"},
      {"oversized manifest", tarGz({{"manifest.json", std::string(5 << 20, ' ')}}), "too large"},
      {"truncated", valid.substr(0, valid.size() / 2), "truncated"},
      {"cut checksum", valid.substr(0, valid.size() - 1), "truncated"},
      {"wrong digest", tarGz(tampered), "does not match its manifest"},
      {"unlisted file", tarGz(backup(stores, {{"audio/x.wav", "x"}})), "does not list"},
      {"newer format", tarGz(backup(stores, {}, 2)), "newer version of the program"},
      {"newer database", tarGz(backup(with("_db.json", newer.dump()))), "version 3"},
      {"missing audio", tarGz(backup(with("_db.json", referring.dump()))),
       "lacks the audio file of \"Mine\""},
      {"no database", tarGz(backup({{"cache.json", stores["cache.json"]}})), "lacks _db.json"},
  };

  std::string db = get("/db")->body;
  auto files = dataFiles();
  for (const auto& c : cases) {
    auto result =
        client_->Post("/restore", {{"file", c.archive, "backup.tar.gz", "application/gzip"}});
    ASSERT_TRUE(result) << c.what;
    EXPECT_EQ(result->status, 400) << c.what;
    EXPECT_NE(result->body.find(c.reason), std::string::npos) << c.what << ": " << result->body;
    EXPECT_EQ(get("/db")->body, db) << c.what;
    EXPECT_EQ(dataFiles(), files) << c.what;
  }
  // The same stores, well packed, are taken.
  EXPECT_EQ(
      client_->Post("/restore", {{"file", valid, "backup.tar.gz", "application/gzip"}})->status,
      200);
}

}  // namespace
}  // namespace veltrano::test
