#include "storage/Backups.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <system_error>
#include <utility>

#include "foundation/AtomicFile.hpp"
#include "foundation/Crypto.hpp"
#include "foundation/FileSetCommit.hpp"
#include "foundation/FileSync.hpp"
#include "foundation/JsonLimits.hpp"
#include "foundation/StorageWrapper.hpp"
#include "foundation/TextChecks.hpp"
#include "storage/SignalReferences.hpp"

namespace veltrano {

struct Backups::Decoded {
  DB db;
  Shadow shadow;
  Cache cache;
};

// Removes the leftovers of earlier restores when a restore ends, however it ends.
class Backups::LeftoversRemoval {
 public:
  explicit LeftoversRemoval(Backups& backups) : backups_(backups) {}
  ~LeftoversRemoval() { backups_.removeLeftovers(); }
  LeftoversRemoval(const LeftoversRemoval&) = delete;
  LeftoversRemoval& operator=(const LeftoversRemoval&) = delete;

 private:
  Backups& backups_;
};

namespace {

constexpr std::array<const char*, 3> STORE_FILES{"_db.json", "_shadow.json", "cache.json"};
// Lists the renames of a restore while they are due; see FileSetCommit.
constexpr const char* COMMIT_MARKER = ".restore-commit.json";

[[noreturn]] void refuse(const std::string& reason) {
  throw BackupRefused(reason);
}

// Calls fn(store, index) for the database, the password and the cache store, in file order.
template <class Fn>
void forEachStore(Stores::Access& access, Fn&& fn) {
  fn(access.dbStore(), 0);
  fn(access.shadowStore(), 1);
  fn(access.cacheStore(), 2);
}

StoreTexts textsOf(Stores::Access& access) {
  return StoreTexts{toJson(access.db()), toJson(access.shadow()), toJson(access.cache())};
}

std::string versionOf(const std::string& text) {
  Json json;
  try {
    json = parseJson(text, STORE_JSON_LIMITS);
  } catch (const JsonInputError&) {
    return "unknown";
  }
  auto version = json.is_object() ? json.find("dbVersion") : json.end();
  return version != json.end() && version->is_number_integer()
             ? std::to_string(version->get<long long>())
             : "unknown";
}

template <RecordType T>
T decodeStore(const std::string& text, const std::string& name) {
  std::optional<T> decoded;
  try {
    decoded = StorageWrapper<T>::decodeStoreText(text, name);
  } catch (const std::exception& e) {
    refuse(e.what());
  }
  if (!decoded) {
    refuse(name + " holds a database of version " + versionOf(text) +
           ", which this program cannot read: restore it with the program that made it");
  }
  if constexpr (requires { decoded->sizeProblem(); }) {
    if (std::string problem = decoded->sizeProblem(); !problem.empty())
      refuse(name + " holds more than the program is built for: " + problem);
  }
  return std::move(*decoded);
}

bool isHexDigest(const std::optional<std::string>& text) {
  return text && text->size() == 64 && std::all_of(text->begin(), text->end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// A password record that could never match would lock everybody out.
void checkShadow(const Shadow& shadow) {
  bool saltUsable = !shadow.salt || shadow.salt->empty() || isHexDigest(shadow.salt);
  bool passwordUsable =
      !shadow.password || (isHexDigest(shadow.password) && isHexDigest(shadow.salt));
  if (!saltUsable || !passwordUsable)
    refuse("_shadow.json does not hold a usable password record");
}

struct AudioUse {
  std::string file;
  std::string song;
};

// The uploaded audio files the database refers to, each once, with a song that uses it.
std::vector<AudioUse> userAudioFiles(const DB& db) {
  std::vector<AudioUse> uses;
  std::set<std::string> seen;
  for (const auto& [id, song] : db.songs) {
    if (song.storageCategory != AudioAssetCategory::BUILT_IN_SIGNAL &&
        seen.insert(song.filename).second)
      uses.push_back({song.filename, song.name});
  }
  return uses;
}

std::string quoted(const std::string& text) {
  return "\"" + truncateUtf8(isValidUtf8(text) ? text : "?", 80) + "\"";
}

}  // namespace

Backups::Backups(Stores& stores, const Paths& paths, const Clock& clock)
    : stores_(stores),
      paths_(paths),
      clock_(clock),
      snapshots_(paths.getUserDataPath() / "snapshots"),
      work_(paths.getUserDataPath()) {}

void Backups::finishInterruptedRestore() noexcept {
  try {
    FileSetCommit commit(work_.directory(), COMMIT_MARKER);
    if (commit.finishPending())
      spdlog::warn("Completed a restore that was interrupted");
  } catch (const std::exception& e) {
    spdlog::error(std::string("Could not complete a restore that was interrupted: ") + e.what());
    return;  // its files stay for the next attempt
  }
  removeLeftovers();
  // Nothing writes yet: a temporary file of an atomic save (a store, the logins, an upload) is
  // what a crash cut short.
  std::vector<std::filesystem::path> unfinished;
  std::error_code error;
  for (std::filesystem::directory_iterator it(work_.directory(), error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().ends_with(".tmp") && it->is_regular_file(error))
      unfinished.push_back(it->path());
  }
  for (const auto& path : unfinished)
    std::filesystem::remove(path, error);
  snapshots_.removeUnfinished();
}

void Backups::removeLeftovers() noexcept {
  std::error_code error;
  // A commit still due needs its staged files.
  if (std::filesystem::exists(work_.directory() / COMMIT_MARKER, error) || error)
    return;
  std::filesystem::remove(work_.directory() / (std::string(COMMIT_MARKER) + ".tmp"), error);
  work_.sweep();
}

StoreTexts Backups::captureStores() {
  auto access = stores_.lock();
  return textsOf(access);
}

Backups::Prepared Backups::prepareBackup() {
  Prepared prepared;
  prepared.content.programVersion = paths_.getVersion();
  std::vector<AudioUse> audio;
  {
    auto access = stores_.lock();
    prepared.content.stores = textsOf(access);
    audio = userAudioFiles(access.db());
  }
  for (const auto& use : audio) {
    std::error_code error;
    bool present = isAudioFileName(use.file) &&
                   std::filesystem::is_regular_file(paths_.getUserFilePath(use.file), error);
    if (!present) {
      refuse("The audio file of " + quoted(use.song) +
             " is missing, so a backup could not be restored: upload it again or delete it, "
             "then make the backup");
    }
    prepared.content.audio.push_back({use.file, paths_.getUserFilePath(use.file)});
  }
  std::tm local = toTm(clock_.getClock());
  prepared.content.created = clock_.getTimeString("%Y-%m-%dT%H:%M:%S");
  prepared.content.modified = std::mktime(&local);
  prepared.fileName = "veltrano-backup-" + clock_.getTimeString("%Y%m%d-%H%M%S") + ".tar.gz";
  return prepared;
}

void Backups::writeBackup(const Prepared& backup, const TarGzWriter::Sink& sink) {
  writeBackupArchive(backup.content, sink);
}

std::string Backups::takeSnapshot(SnapshotReason reason, const StoreTexts& texts,
                                  std::optional<RestoreSource> beforeRestoring) {
  BackupContent content;
  content.stores = texts;
  content.beforeRestoring = std::move(beforeRestoring);
  content.programVersion = paths_.getVersion();
  content.created = clock_.getTimeString("%Y-%m-%dT%H:%M:%S");
  std::tm local = toTm(clock_.getClock());
  content.modified = std::mktime(&local);
  std::string archive;
  writeBackupArchive(content, [&](std::string_view bytes) { archive.append(bytes); });
  return snapshots_.add(clock_.getTimeString("%Y%m%d-%H%M%S"), reason, archive);
}

bool Backups::takeDailySnapshotIfDue() noexcept {
  std::lock_guard lock(dailyMutex_);
  try {
    if (snapshots_.hasDaily(clock_.getTimeString("%Y%m%d")))
      return false;
    std::string name = takeSnapshot(SnapshotReason::DAILY, captureStores());
    spdlog::debug("Snapshot taken: " + name);
    lastDailyError_.clear();
    return true;
  } catch (const std::exception& e) {
    if (lastDailyError_ != e.what()) {
      spdlog::error(std::string("Could not take the daily snapshot: ") + e.what());
      lastDailyError_ = e.what();
    }
  }
  return false;
}

SnapshotContents Backups::readContents(const SnapshotInfo& info) {
  auto file = snapshots_.find(info.name);
  std::ifstream in;
  if (file)
    in.open(*file, std::ios::binary);
  if (!in)
    return {};
  try {
    WorkArea::Lease staging = work_.lease("");
    std::filesystem::create_directories(staging.path());
    return contentsOf(readBackupArchive(in, staging.path()));
  } catch (const std::exception& e) {
    spdlog::warn("Cannot read the snapshot " + info.name + ": " + e.what());
    return {};
  }
}

std::vector<Backups::SnapshotListing> Backups::snapshotListings() {
  std::vector<SnapshotListing> listings;
  std::lock_guard lock(contentsMutex_);
  std::map<std::string, SnapshotContents> current;
  for (auto& info : snapshots_.list()) {
    auto known = contents_.find(info.name);
    SnapshotContents contents = known != contents_.end() ? known->second : readContents(info);
    current.emplace(info.name, contents);
    listings.push_back({std::move(info), std::move(contents)});
  }
  // Removed snapshots are forgotten.
  contents_ = std::move(current);
  return listings;
}

Backups::Decoded Backups::decode(const StoreTexts& texts) const {
  Decoded decoded{decodeStore<DB>(texts.db, STORE_FILES[0]),
                  decodeStore<Shadow>(texts.shadow, STORE_FILES[1]),
                  decodeStore<Cache>(texts.cache, STORE_FILES[2])};
  checkShadow(decoded.shadow);
  // Checked as the start-up would load it: built-in signals are back in place first.
  decoded.db.ensureFactorySongsAvailable();
  try {
    checkSettingsSignals(decoded.db);
  } catch (const std::invalid_argument& e) {
    refuse(e.what());
  }
  for (const auto& [id, song] : decoded.db.songs) {
    if (!isAudioFileName(song.filename)) {
      refuse("The database refers to an audio file of an unusable name: " + quoted(song.filename) +
             ", of " + quoted(song.name));
    }
  }
  return decoded;
}

Backups::RestoreOutcome Backups::restoreArchive(const std::filesystem::path& archive,
                                                const WhileInForce& inForce,
                                                const std::string& fileName) {
  std::unique_lock restoring(restoreMutex_, std::try_to_lock);
  if (!restoring)
    refuse("Another restore is running: try again when it has finished");
  LeftoversRemoval cleanup(*this);
  WorkArea::Lease staging = work_.lease("");
  std::filesystem::create_directories(staging.path());
  std::ifstream in(archive, std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot read the uploaded archive");
  CheckedArchive checked = readBackupArchive(in, staging.path());
  Decoded decoded = decode(checked.stores);

  std::map<std::string, std::filesystem::path> audio;
  for (const auto& use : userAudioFiles(decoded.db)) {
    auto staged = checked.audio.find(use.file);
    if (staged == checked.audio.end())
      refuse("The archive lacks the audio file of " + quoted(use.song));
    audio.insert(*staged);
  }
  std::string shown = isValidUtf8(fileName) ? truncateUtf8(fileName, 120) : "";
  return install(std::move(decoded), audio, staging, inForce, RestoreSource{"file", shown});
}

Backups::RestoreOutcome Backups::restoreSnapshot(const std::string& name,
                                                 const WhileInForce& inForce, bool keepPassword) {
  std::unique_lock restoring(restoreMutex_, std::try_to_lock);
  if (!restoring)
    refuse("Another restore is running: try again when it has finished");
  LeftoversRemoval cleanup(*this);
  auto file = snapshots_.find(name);
  if (!file)
    refuse("There is no snapshot " + quoted(name));
  WorkArea::Lease staging = work_.lease("");
  std::filesystem::create_directories(staging.path());
  std::ifstream in(*file, std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot read the snapshot " + name);
  CheckedArchive checked = readBackupArchive(in, staging.path());
  Decoded decoded = decode(checked.stores);
  if (keepPassword)
    decoded.shadow = stores_.lock().shadow();

  // Snapshots hold no audio: what was deleted since stays missing, and the dashboard says so.
  std::vector<std::string> missing;
  for (const auto& use : userAudioFiles(decoded.db)) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(paths_.getUserFilePath(use.file), error))
      missing.push_back(use.file);
  }
  std::string created;
  for (const auto& info : snapshots_.list()) {
    if (info.name == name)
      created = info.created;
  }
  RestoreOutcome outcome =
      install(std::move(decoded), {}, staging, inForce, RestoreSource{"snapshot", created});
  outcome.missingAudioFiles = std::move(missing);
  return outcome;
}

Backups::RestoreOutcome Backups::install(Decoded decoded,
                                         const std::map<std::string, std::filesystem::path>& audio,
                                         WorkArea::Lease& staging, const WhileInForce& inForce,
                                         const RestoreSource& source) {
  const auto& data = work_.directory();
  FileSetCommit commit(data, COMMIT_MARKER);
  // Its files, still to come, would mix with this restore's.
  if (commit.isPending())
    refuse("The last restore is not complete yet: restart the program, then try again");
  RestoreOutcome outcome;
  outcome.snapshot = takeSnapshot(SnapshotReason::BEFORE_RESTORE, captureStores(), source);
  const StoreTexts texts{toJson(decoded.db), toJson(decoded.shadow), toJson(decoded.cache)};
  const std::array<const std::string*, 3> textOf{&texts.db, &texts.shadow, &texts.cache};
  const std::array<std::size_t, 3> hashOf{contentHash(decoded.db), contentHash(decoded.shadow),
                                          contentHash(decoded.cache)};

  // Everything new lies beside the old files, on the disk, before the commit names it.
  const auto stagingName = staging.path().filename();
  // Audio first: when the new stores are in place, so is every file they refer to.
  for (const auto& entry : audio) {
    const auto& staged = entry.second;
    syncFile(staged);
    commit.add(stagingName / staged.filename(), staged.filename());
  }
  for (std::size_t i = 0; i < STORE_FILES.size(); ++i) {
    writeFileAtomically(staging.path() / STORE_FILES[i], *textOf[i]);
    commit.add(stagingName / STORE_FILES[i], STORE_FILES[i]);
  }
  syncDirectory(staging.path());

  std::array<std::filesystem::path, 3> inPlace;
  auto files = stores_.lockFiles();
  try {
    commit.commit();
    for (std::size_t i = 0; i < STORE_FILES.size(); ++i)
      inPlace[i] = data / STORE_FILES[i];
  } catch (const std::exception& e) {
    if (!commit.isPending())
      throw;
    // Decided but not all in place: the next start completes it from the staged files, which
    // must stay, and meanwhile takes the saves of what is not yet in place.
    staging.keep();
    for (std::size_t i = 0; i < STORE_FILES.size(); ++i) {
      std::error_code error;
      bool staged = std::filesystem::exists(staging.path() / STORE_FILES[i], error);
      inPlace[i] = staged ? staging.path() / STORE_FILES[i] : data / STORE_FILES[i];
    }
    spdlog::error(std::string("The restore is in force, but some of its files are not in place "
                              "yet; the next start puts them there: ") +
                  e.what());
  }

  {
    auto access = stores_.lock();
    access.dbStore().replaceRecord(std::move(decoded.db), inPlace[0], hashOf[0]);
    access.shadowStore().replaceRecord(std::move(decoded.shadow), inPlace[1], hashOf[1]);
    access.cacheStore().replaceRecord(std::move(decoded.cache), inPlace[2], hashOf[2]);
    if (inForce)
      inForce(access);
  }
  spdlog::info("Restored the setup; the state before is kept as the snapshot " + outcome.snapshot);
  return outcome;
}

}  // namespace veltrano
