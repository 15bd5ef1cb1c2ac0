#include "storage/SnapshotContents.hpp"

#include <algorithm>
#include <exception>

#include "foundation/Shadow.hpp"
#include "foundation/StorageWrapper.hpp"
#include "storage/Database.hpp"

namespace veltrano {

SnapshotContents contentsOf(const CheckedArchive& archive) {
  SnapshotContents contents;
  contents.beforeRestoring = archive.beforeRestoring;
  try {
    auto db = StorageWrapper<DB>::decodeStoreText(archive.stores.db, "_db.json");
    auto shadow = StorageWrapper<Shadow>::decodeStoreText(archive.stores.shadow, "_shadow.json");
    if (!db || !shadow)
      return contents;
    const auto& calendar = db->settings.calendar;
    contents.timetables = db->timetables.size();
    contents.events = calendar.singleEvents.size() + calendar.reoccurringEvents.size();
    contents.uploadedSignals = static_cast<std::size_t>(
        std::count_if(db->songs.begin(), db->songs.end(), [](const auto& entry) {
          return entry.second.storageCategory == AudioAssetCategory::USER_SIGNAL;
        }));
    contents.passwordSet = shadow->isPasswordSet();
    contents.readable = true;
  } catch (const std::exception&) {
    contents.readable = false;
  }
  return contents;
}

}  // namespace veltrano
