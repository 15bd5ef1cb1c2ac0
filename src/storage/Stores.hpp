#pragma once

#include "foundation/Shadow.hpp"
#include "foundation/StorageWrapper.hpp"
#include "storage/Cache.hpp"
#include "storage/Database.hpp"

#include <mutex>

namespace veltrano {

// The three persistent stores behind one application-wide lock. The records can only be
// reached through an Access, which holds the lock for as long as it lives: the scheduler
// holds one for a round, an HTTP handler while it touches records. Never wait on the
// network or on audio, and never sleep, while holding one.
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

   private:
    friend class Stores;
    explicit Access(Stores& stores) : stores_(&stores), lock_(stores.mutex_) {}

    Stores* stores_;
    std::unique_lock<std::mutex> lock_;
  };

  Access lock() { return Access(*this); }

 private:
  std::mutex mutex_;
  StorageWrapper<Cache> cache_;    // protected by mutex_
  StorageWrapper<DB> db_;          // protected by mutex_
  StorageWrapper<Shadow> shadow_;  // protected by mutex_
};

}  // namespace veltrano
