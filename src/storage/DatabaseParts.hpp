#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "storage/Cache.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// Content hashes of the parts of the database that pages show apart, so that a change can be
// told by the part it touched instead of by the whole database.
class DatabaseParts {
 public:
  static constexpr std::array<std::string_view, 5> NAMES{"settings", "calendar", "signals",
                                                         "programmes", "timetables"};

  // Hashing walks the whole database: take it only after the stores changed.
  static DatabaseParts of(const DB& db, const Cache& cache);

  // The names of the parts that differ, in the order of NAMES.
  std::vector<std::string_view> changedSince(const DatabaseParts& earlier) const;

 private:
  std::array<std::size_t, NAMES.size()> hashes_{};
};

}  // namespace veltrano
