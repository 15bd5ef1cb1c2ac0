#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "domain/Clock.hpp"
#include "foundation/Paths.hpp"
#include "foundation/TarGzWriter.hpp"
#include "storage/BackupArchive.hpp"
#include "storage/SnapshotContents.hpp"
#include "storage/SnapshotDirectory.hpp"
#include "storage/Stores.hpp"
#include "storage/WorkArea.hpp"

namespace veltrano {

// The whole setup as one archive, and back. A backup holds the three stores, taken at one
// moment under the store lock, and the uploaded audio files the database refers to. A
// restore checks the whole archive first and changes nothing when it refuses it; an accepted
// one keeps a snapshot of the current state, then replaces the store files and brings in the
// audio files as one (a crash at any moment leaves the old set or the new one, see
// FileSetCommit) and puts the new records in force, all without a restart. Snapshots (the
// stores only) are taken daily and before every restore. Thread-safe; restores run one at a
// time.
class Backups {
 public:
  // A backup ready to be streamed: everything it needs was taken at one moment.
  struct Prepared {
    BackupContent content;
    std::string fileName;  // veltrano-backup-<YYYYmmdd-HHMMSS>.tar.gz
  };

  struct RestoreOutcome {
    std::string snapshot;  // the snapshot of the state before the restore
    // Audio files a restored snapshot refers to that are no longer in the data directory.
    std::vector<std::string> missingAudioFiles;
  };

  // A snapshot with what it holds.
  struct SnapshotListing {
    SnapshotInfo info;
    SnapshotContents contents;
  };

  // Runs under the store lock in the moment the restored records come in force.
  using WhileInForce = std::function<void(Stores::Access&)>;

  Backups(Stores& stores, const Paths& paths, const Clock& clock);

  // Caller must not hold the store lock. BackupRefused when an audio file the database refers
  // to is missing, since its backup could not be restored.
  Prepared prepareBackup();
  // Streams the archive into sink; see writeBackupArchive.
  static void writeBackup(const Prepared& backup, const TarGzWriter::Sink& sink);

  // Restores an uploaded archive file. BackupRefused, with nothing changed, for an archive
  // that is damaged, hostile, from a newer program, or lacks an audio file its database
  // refers to. Caller must not hold the store lock. fileName, the upload's name, is noted in
  // the snapshot taken before.
  RestoreOutcome restoreArchive(const std::filesystem::path& archive, const WhileInForce& inForce,
                                const std::string& fileName = "");
  // Restores one of the snapshots; its audio files are those of the data directory. With
  // keepPassword the password in force stays: an old snapshot must not lock out the people
  // who know today's password.
  RestoreOutcome restoreSnapshot(const std::string& name, const WhileInForce& inForce,
                                 bool keepPassword = true);

  // Newest first.
  std::vector<SnapshotInfo> snapshots() const { return snapshots_.list(); }
  // Newest first, each with its contents; an archive is read once, then remembered.
  std::vector<SnapshotListing> snapshotListings();
  // Takes the day's snapshot unless one was taken today; true when it took one. A failure is
  // logged (once while it repeats). Caller must not hold the store lock.
  bool takeDailySnapshotIfDue() noexcept;

  // Where an upload or a download waits (suffix ".tar.gz"), or unpacked audio while a restore
  // checks it (suffix "": a directory).
  WorkArea::Lease newWorkFile(const std::string& suffix) { return work_.lease(suffix); }

  // At start-up, before the store files are read: completes a restore a crash interrupted
  // after it was decided, and removes what interrupted restores and saves left behind.
  void finishInterruptedRestore() noexcept;

 private:
  struct Decoded;
  class LeftoversRemoval;
  // Caller must not hold the store lock.
  StoreTexts captureStores();
  std::string takeSnapshot(SnapshotReason reason, const StoreTexts& texts,
                           std::optional<RestoreSource> beforeRestoring = std::nullopt);
  SnapshotContents readContents(const SnapshotInfo& info);
  Decoded decode(const StoreTexts& texts) const;
  // staging holds the audio files to bring in and receives the new store files.
  RestoreOutcome install(Decoded decoded, const std::map<std::string, std::filesystem::path>& audio,
                         WorkArea::Lease& staging, const WhileInForce& inForce,
                         const RestoreSource& source);
  // Caller holds restoreMutex_, or nothing else runs yet.
  void removeLeftovers() noexcept;

  Stores& stores_;
  const Paths& paths_;
  const Clock& clock_;
  SnapshotDirectory snapshots_;
  WorkArea work_;
  std::mutex restoreMutex_;  // held for the whole of a restore
  std::mutex dailyMutex_;
  std::string lastDailyError_;  // protected by dailyMutex_
  std::mutex contentsMutex_;
  // Snapshot name -> what it holds; a snapshot never changes once written.
  std::map<std::string, SnapshotContents> contents_;  // protected by contentsMutex_
};

}  // namespace veltrano
