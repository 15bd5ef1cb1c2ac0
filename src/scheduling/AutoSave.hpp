#pragma once

#include <array>
#include <optional>
#include <string>

#include "foundation/StorageWrapper.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// The scheduler's autosave of the three stores, split so that no file is written while the
// store lock is held: prepare (under the lock) decides what to write, write (without it)
// writes the files and then marks them saved. A failed write is retried in the next round;
// it is logged once, and again only when its text changes. Used by one thread only.
class AutoSave {
 public:
  // Caller holds the lock of access.
  void prepare(Stores::Access& access) noexcept;
  // Caller must not hold the store lock.
  void write(Stores& stores);

 private:
  enum Store { DB_STORE, SHADOW_STORE, CACHE_STORE, STORE_COUNT };

  struct Slot {
    std::optional<PendingSave> pending;
    // The failure last logged for this store; cleared when a write succeeds.
    std::string lastError;
  };

  // Runs action; on failure logs it (unless it repeats the last one) and returns false.
  template <class Action>
  bool attempt(Slot& slot, const Action& action) noexcept;

  std::array<Slot, STORE_COUNT> slots_;
};

}  // namespace veltrano
