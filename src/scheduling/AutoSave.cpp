#include "scheduling/AutoSave.hpp"

#include <spdlog/spdlog.h>

#include <exception>

#include "foundation/AtomicFile.hpp"

namespace veltrano {
namespace {

constexpr const char* SAVED_LINES[] = {"DB saved to disk", "Shadow updated", "Cache saved"};

}  // namespace

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
  // A store that cannot be written fails again every round: say so once, not ten times a
  // second.
  if (slot.lastError != failure) {
    spdlog::error("Scheduler thread error: {}", failure);
    slot.lastError = failure;
  }
  return false;
}

void AutoSave::prepare(Stores::Access& access) noexcept {
  // Each store stands alone: one that cannot be saved does not keep the others from saving.
  attempt(slots_[DB_STORE], [&] { slots_[DB_STORE].pending = access.dbStore().prepareAutoSave(); });
  attempt(slots_[SHADOW_STORE],
          [&] { slots_[SHADOW_STORE].pending = access.shadowStore().prepareAutoSave(); });
  attempt(slots_[CACHE_STORE],
          [&] { slots_[CACHE_STORE].pending = access.cacheStore().prepareAutoSave(); });
}

void AutoSave::write(Stores& stores) {
  bool anyWritten = false;
  for (Slot& slot : slots_) {
    if (!slot.pending)
      continue;
    const bool written =
        attempt(slot, [&] { writeFileAtomically(slot.pending->path, slot.pending->text); });
    if (written) {
      slot.lastError.clear();
      anyWritten = true;
    } else {
      // Not marked saved, so the next round prepares it again.
      slot.pending.reset();
    }
  }
  if (!anyWritten)
    return;

  {
    auto access = stores.lock();
    if (const auto& save = slots_[DB_STORE].pending)
      access.dbStore().markSaved(*save);
    if (const auto& save = slots_[SHADOW_STORE].pending)
      access.shadowStore().markSaved(*save);
    if (const auto& save = slots_[CACHE_STORE].pending)
      access.cacheStore().markSaved(*save);
  }
  for (int store = 0; store < STORE_COUNT; ++store) {
    if (!slots_[store].pending)
      continue;
    spdlog::debug("{}", SAVED_LINES[store]);
    slots_[store].pending.reset();
  }
}

}  // namespace veltrano
