#pragma once

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace veltrano {

// The work files of backups and restores in the data directory, named .restore-<uuid>[suffix]:
// an upload, a download being sent, a restore's staging directory. Each lives as long as the
// Lease that made it; sweep removes the ones no lease holds, which a crash or a failed removal
// left behind. Thread-safe.
class WorkArea {
 public:
  class Lease {
   public:
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    // Removes the file, or the directory with everything in it, unless kept.
    ~Lease();

    const std::filesystem::path& path() const noexcept { return path_; }
    // Leaves the file in place when the lease ends: work on it is still due.
    void keep() noexcept { kept_ = true; }

   private:
    friend class WorkArea;
    Lease(WorkArea& area, std::filesystem::path path) : area_(&area), path_(std::move(path)) {}

    WorkArea* area_;
    std::filesystem::path path_;
    bool kept_ = false;
  };

  explicit WorkArea(std::filesystem::path directory);

  // A fresh name in the directory, ending in suffix ("" or ".tar.gz"); nothing is made
  // there yet but the directory itself.
  Lease lease(const std::string& suffix);
  // Removes every work file that no lease holds.
  void sweep() noexcept;

  const std::filesystem::path& directory() const noexcept { return directory_; }

  // Whether a file name is one this area hands out.
  static bool isWorkName(std::string_view name) noexcept;

 private:
  void release(const Lease& lease) noexcept;

  const std::filesystem::path directory_;
  std::mutex mutex_;
  std::set<std::filesystem::path> leased_;  // protected by mutex_
};

}  // namespace veltrano
