#include "storage/DatabaseParts.hpp"

#include "foundation/Record.hpp"

namespace veltrano {
namespace {

// The settings without the calendar, which has a part of its own.
std::size_t settingsHash(const Settings& settings) {
  std::size_t seed = 0;
  detail::forEachField<Settings>([&](const auto& entry) {
    using Member = std::remove_cvref_t<decltype(settings.*(entry.member))>;
    if (std::string_view(entry.name) != "calendar")
      detail::hashCombine(seed, Codec<Member>::hash(settings.*(entry.member)));
  });
  return seed;
}

}  // namespace

DatabaseParts DatabaseParts::of(const DB& db, const Cache& cache) {
  DatabaseParts parts;
  // The calendar shown is the user's events and the synchronised region's days.
  std::size_t calendar = contentHash(db.settings.calendar);
  detail::hashCombine(calendar, contentHash(cache));
  parts.hashes_ = {settingsHash(db.settings), calendar, Codec<MapDb<AudioAsset>>::hash(db.songs),
                   Codec<MapDb<Programme>>::hash(db.programmes),
                   Codec<MapDb<TimeTable>>::hash(db.timetables)};
  return parts;
}

std::vector<std::string_view> DatabaseParts::changedSince(const DatabaseParts& earlier) const {
  std::vector<std::string_view> changed;
  for (std::size_t i = 0; i < NAMES.size(); ++i) {
    if (hashes_[i] != earlier.hashes_[i])
      changed.push_back(NAMES[i]);
  }
  return changed;
}

}  // namespace veltrano
