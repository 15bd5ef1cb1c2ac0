#include "scheduling/AutoSave.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <exception>

#include "foundation/AtomicFile.hpp"

namespace veltrano {
namespace {

constexpr const char* SAVED_LINES[] = {"DB saved to disk", "Shadow updated", "Cache saved"};

template <class Record>
void recordResult(StorageWrapper<Record>& store, const PendingSave* written,
                  const std::optional<std::string>& failure, const std::string& now) {
  if (written)
    store.markSaved(*written);
  else if (failure)
    store.markSaveFailed(*failure, now);
}

template <class Record>
bool isStale(const PendingSave& pending, const StorageWrapper<Record>& store) {
  return contentHash(store.record()) != pending.hash;
}

}  // namespace

template <class Record>
void AutoSave::dropIfStale(Slot& slot, const StorageWrapper<Record>& store) {
  if (slot.pending && isStale(*slot.pending, store))
    slot.pending.reset();
}

AutoSave::AutoSave(const Clock& clock, FileWriter writer)
    : clock_(clock), writer_(std::move(writer)) {}

template <class Action>
bool AutoSave::attempt(Slot& slot, const Action& action) noexcept {
  std::string failure;
  try {
    action();
    return true;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown failure";
  }
  slot.failure = failure;
  retry_ = true;
  // A store that cannot be written fails again every round: say so once, not ten times a
  // second.
  if (slot.lastError != failure) {
    spdlog::error("Scheduler thread error: {}", failure);
    slot.lastError = failure;
  }
  return false;
}

void AutoSave::prepare(Stores::Access& access) noexcept {
  if (lookedAt_ == access.changeCount() && !retry_)
    return;
  lookedAt_ = access.changeCount();
  retry_ = false;
  // Each store stands alone: one that cannot be saved does not keep the others from saving.
  attempt(slots_[DB_STORE], [&] { slots_[DB_STORE].pending = access.dbStore().prepareAutoSave(); });
  attempt(slots_[SHADOW_STORE],
          [&] { slots_[SHADOW_STORE].pending = access.shadowStore().prepareAutoSave(); });
  attempt(slots_[CACHE_STORE],
          [&] { slots_[CACHE_STORE].pending = access.cacheStore().prepareAutoSave(); });
  record(access, /*afterWrite=*/false);
}

void AutoSave::write(Stores& stores) {
  if (std::none_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.pending; }))
    return;
  auto files = stores.lockFiles();
  {
    // A restore may have replaced a record since prepare, and written its file: this text is
    // older than that file. The next round prepares what is in force now.
    auto access = stores.lockForRound();
    dropIfStale(slots_[DB_STORE], access.dbStore());
    dropIfStale(slots_[SHADOW_STORE], access.shadowStore());
    dropIfStale(slots_[CACHE_STORE], access.cacheStore());
  }
  bool anyDone = false;
  for (Slot& slot : slots_) {
    if (!slot.pending)
      continue;
    anyDone = true;
    if (attempt(slot, [&] { writer_(slot.pending->path, slot.pending->text); })) {
      slot.lastError.clear();
    } else {
      // Not marked saved, so the next round prepares it again.
      slot.pending.reset();
    }
  }
  if (!anyDone)
    return;

  {
    // Records only the saves' outcome, no change of the records.
    auto access = stores.lockForRound();
    record(access, /*afterWrite=*/true);
  }
  for (int store = 0; store < STORE_COUNT; ++store) {
    if (!slots_[store].pending)
      continue;
    spdlog::debug("{}", SAVED_LINES[store]);
    slots_[store].pending.reset();
  }
}

void AutoSave::record(Stores::Access& access, bool afterWrite) noexcept {
  bool anyFailure = false;
  for (const Slot& slot : slots_)
    anyFailure = anyFailure || slot.failure;
  try {
    const std::string now = anyFailure ? clock_.getTimeString("%Y-%m-%dT%H:%M:%S") : "";
    auto written = [&](Store store) -> const PendingSave* {
      const auto& pending = slots_[store].pending;
      return afterWrite && pending ? &*pending : nullptr;
    };
    recordResult(access.dbStore(), written(DB_STORE), slots_[DB_STORE].failure, now);
    recordResult(access.shadowStore(), written(SHADOW_STORE), slots_[SHADOW_STORE].failure, now);
    recordResult(access.cacheStore(), written(CACHE_STORE), slots_[CACHE_STORE].failure, now);
  } catch (const std::exception& e) {
    spdlog::error("Could not record a failed save: {}", e.what());
  }
  for (Slot& slot : slots_)
    slot.failure.reset();
}

}  // namespace veltrano
