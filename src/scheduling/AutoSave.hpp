#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "domain/Clock.hpp"
#include "foundation/AtomicFile.hpp"
#include "foundation/StorageWrapper.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// The scheduler's autosave of the three stores, split so that no file is written while the
// store lock is held: prepare (under the lock) decides what to write, write (without it)
// writes the files and then marks them saved. A failed write is retried in the next round;
// it is logged once, and again only when its text changes. Used by one thread only.
// Each store keeps the reason it could not be saved (StorageWrapper::saveError), stamped with
// the clock's time, until a save succeeds. The records are hashed only when an access may have
// changed them since the last look, or a save is still to be retried.
class AutoSave {
 public:
  using FileWriter = std::function<void(const std::filesystem::path&, std::string_view)>;

  explicit AutoSave(const Clock& clock, FileWriter writer = writeFileAtomically);

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
    // This round's failure, to be recorded in the store.
    std::optional<std::string> failure;
  };

  // Runs action; on failure logs it (unless it repeats the last one) and returns false.
  template <class Action>
  bool attempt(Slot& slot, const Action& action) noexcept;
  template <class Record>
  void dropIfStale(Slot& slot, const StorageWrapper<Record>& store);
  // Marks each store failed with this round's failure or, after the writes, saved. Caller
  // holds the lock.
  void record(Stores::Access& access, bool afterWrite) noexcept;

  const Clock& clock_;
  FileWriter writer_;
  std::array<Slot, STORE_COUNT> slots_;
  // The store's change count at the last look; none before the first.
  std::optional<std::uint64_t> lookedAt_;
  // A prepare or write failed: look again even without a change.
  bool retry_ = false;
};

}  // namespace veltrano
