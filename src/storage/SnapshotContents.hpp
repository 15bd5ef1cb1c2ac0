#pragma once

#include <optional>
#include <string>

#include "storage/BackupArchive.hpp"

namespace veltrano {

// What a snapshot would bring back, in the few numbers a person choosing one needs.
struct SnapshotContents {
  bool readable = false;  // false: the archive or its database could not be read
  std::size_t timetables = 0;
  std::size_t events = 0;  // single and weekly calendar events
  std::size_t uploadedSignals = 0;
  bool passwordSet = false;
  std::optional<RestoreSource> beforeRestoring;
};

// Counts what the stores of a checked archive hold. Unreadable store texts give
// readable = false; never throws for them.
SnapshotContents contentsOf(const CheckedArchive& archive);

}  // namespace veltrano
