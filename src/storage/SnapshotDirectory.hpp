#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

// How many snapshots are kept; the oldest go first.
inline constexpr std::size_t SNAPSHOTS_KEPT = 30;

enum class SnapshotReason { DAILY, BEFORE_RESTORE };

struct SnapshotInfo {
  std::string name;     // the file's name, which identifies the snapshot
  std::string created;  // local time, YYYY-MM-DD HH:MM:SS
  SnapshotReason reason = SnapshotReason::DAILY;
  std::uintmax_t size = 0;
};

// The text form of a reason: "daily" or "before-restore".
std::string_view reasonText(SnapshotReason reason) noexcept;

// The snapshot archives of the stores in one directory, named
// snapshot-<YYYYmmdd-HHMMSS>-<reason>[-<n>].tar.gz so that the names sort by time. Files of
// any other name are left alone. Thread-safe.
class SnapshotDirectory {
 public:
  explicit SnapshotDirectory(std::filesystem::path directory);

  // Newest first.
  std::vector<SnapshotInfo> list() const;
  // The file of a snapshot that list() names; nullopt for any other name.
  std::optional<std::filesystem::path> find(std::string_view name) const;
  // Whether a daily snapshot was taken on day (YYYYmmdd).
  bool hasDaily(std::string_view day) const;
  // Stores archive as a new snapshot taken at stamp (YYYYmmdd-HHMMSS), then removes the oldest
  // beyond SNAPSHOTS_KEPT. Returns its name. Throws std::runtime_error when it cannot be
  // written.
  std::string add(std::string_view stamp, SnapshotReason reason, std::string_view archive);
  // Removes the temporary files of snapshots whose writing a crash cut short.
  void removeUnfinished() noexcept;

 private:
  // Caller holds mutex_.
  std::vector<SnapshotInfo> listLocked() const;

  const std::filesystem::path directory_;
  mutable std::mutex mutex_;  // one change of the directory at a time
};

}  // namespace veltrano
