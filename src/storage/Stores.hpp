#pragma once

#include <cstdint>
#include <mutex>

#include "foundation/Shadow.hpp"
#include "foundation/StorageWrapper.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// The three persistent stores behind one application-wide lock. The records can only be
// reached through an Access, which holds the lock for as long as it lives: the scheduler
// holds one for a round, an HTTP handler while it touches records. Never wait on the
// network or on audio, and never sleep, while holding one.
//
// Every access from lock() counts as a change, so the autosave looks for changes (hashing the
// records) only after one; the scheduler's rounds, which seldom change anything, take
// lockForRound() and mark their changes themselves.
class Stores {
 public:
  class Access {
   public:
    DB& db() noexcept { return stores_->db_.record(); }
    Shadow& shadow() noexcept { return stores_->shadow_.record(); }
    Cache& cache() noexcept { return stores_->cache_.record(); }

    StorageWrapper<DB>& dbStore() noexcept { return stores_->db_; }
    StorageWrapper<Shadow>& shadowStore() noexcept { return stores_->shadow_; }
    StorageWrapper<Cache>& cacheStore() noexcept { return stores_->cache_; }

    // The records may have changed under this access.
    void markChanged() noexcept { ++stores_->changeCount_; }
    // Moves on with every access that may have changed the records.
    std::uint64_t changeCount() const noexcept { return stores_->changeCount_; }

   private:
    friend class Stores;
    Access(Stores& stores, bool counted) : stores_(&stores), lock_(stores.mutex_) {
      if (counted)
        markChanged();
    }

    Stores* stores_;
    std::unique_lock<std::mutex> lock_;
  };

  Access lock() { return Access(*this, true); }
  // For the scheduler's rounds and for readers that must not count as a change (the live
  // events' sampler): the caller marks its changes with markChanged().
  Access lockForRound() { return Access(*this, false); }

  // Held by whoever writes the store files (the autosave, a restore) for the whole of a write
  // and the marking of it as saved, so that two writers never interleave. Take it before the
  // store lock, never while holding it. A scheduler round waits for it only when it writes,
  // after its bells of the second have started.
  std::unique_lock<std::mutex> lockFiles() { return std::unique_lock(filesMutex_); }

 private:
  std::mutex filesMutex_;
  std::mutex mutex_;
  std::uint64_t changeCount_ = 0;  // protected by mutex_
  StorageWrapper<Cache> cache_;    // protected by mutex_
  StorageWrapper<DB> db_;          // protected by mutex_
  StorageWrapper<Shadow> shadow_;  // protected by mutex_
};

}  // namespace veltrano
