#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace veltrano {

// Replaces several files of one directory as one. The new files are prepared first, each on
// the disk; commit then writes a marker naming every rename, on the disk too, before the first
// rename. A crash before the marker leaves every old file; a crash after it leaves renames
// that finishPending, run before anything reads the files, completes: never a mix. Not
// thread-safe: one commit in a directory at a time.
class FileSetCommit {
 public:
  // markerName: the file, in directory, that lists the renames while they are due.
  FileSetCommit(std::filesystem::path directory, std::string markerName);

  // At the commit, the prepared file `from` (relative to the directory, already on the disk)
  // replaces the file named `to` in the directory. Renames happen in the order added.
  void add(const std::filesystem::path& from, const std::filesystem::path& to);
  // Throws std::runtime_error when it fails: before the marker is on the disk nothing has
  // changed; after, isPending() is true and finishPending completes the commit.
  void commit();

  // Whether a commit's renames are due.
  bool isPending() const;
  // Completes a commit that a crash or a failure interrupted; false when none was due. Throws
  // std::runtime_error when a rename fails or the marker is unusable; the marker then stays.
  bool finishPending();

 private:
  using Renames = std::vector<std::pair<std::filesystem::path, std::filesystem::path>>;
  // Renames whatever is still due, then removes the marker.
  void apply(const Renames& renames);
  Renames readMarker() const;

  std::filesystem::path directory_;
  std::filesystem::path marker_;
  Renames renames_;
};

}  // namespace veltrano
