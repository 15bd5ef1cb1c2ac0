#pragma once

#include "foundation/Crypto.hpp"
#include "foundation/Record.hpp"

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace veltrano {

// A missing or duplicate key in a keyed collection.
class KeyError : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// Insertion-ordered map of text key to record: a key keeps its position while it stays,
// new keys go to the end.
template <class V>
class MapDb {
 public:
  using Entry = std::pair<std::string, V>;
  using Filter = std::function<bool(const V&)>;

  // Stores item under key, or under a fresh random UUID when key is empty; returns the key.
  std::string add(V item, std::string key = {}) {
    if (key.empty()) {
      do {
        key = randomUuid();
      } while (contains(key));
    } else if (contains(key)) {
      throw KeyError("Key already exists");
    }
    index_.emplace(key, entries_.size());
    entries_.emplace_back(key, std::move(item));
    return key;
  }

  // Removes and returns the record stored under key.
  V remove(const std::string& key) {
    auto found = index_.find(key);
    if (found == index_.end()) throw KeyError(key);
    std::size_t position = found->second;
    V removed = std::move(entries_[position].second);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
    rebuildIndex();
    return removed;
  }

  std::size_t size() const noexcept { return entries_.size(); }
  bool empty() const noexcept { return entries_.empty(); }
  bool contains(const std::string& key) const { return index_.contains(key); }

  V* find(const std::string& key) {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &entries_[found->second].second;
  }
  const V* find(const std::string& key) const {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : &entries_[found->second].second;
  }

  V& get(const std::string& key) {
    if (V* value = find(key)) return *value;
    throw KeyError(key);
  }
  const V& get(const std::string& key) const {
    if (const V* value = find(key)) return *value;
    throw KeyError(key);
  }

  // Replaces the record under an existing key in place, or adds it at the end.
  void set(const std::string& key, V item) {
    if (V* existing = find(key)) {
      *existing = std::move(item);
    } else {
      add(std::move(item), key);
    }
  }

  // The record at a position in insertion order; negative positions count from the end.
  V& at(long long idx) { return entries_[checkedPosition(idx)].second; }
  const V& at(long long idx) const { return entries_[checkedPosition(idx)].second; }

  // The stored JSON objects of the records the filter accepts, each with its key as "id".
  Json asTable(const Filter& filter = {}) const {
    Json table = Json::array();
    for (const auto& [key, value] : entries_) {
      if (filter && !filter(value)) continue;
      Json row = toDict(value);
      row["id"] = key;
      table.push_back(std::move(row));
    }
    return table;
  }

  // Replaces the whole content by the entries of a JSON object, in its member order.
  void fromDict(const Json& data) {
    if (!data.is_object()) throw DecodeError("Invalid value for a keyed collection: expected object");
    MapDb<V> loaded;
    for (const auto& [key, value] : data.items()) {
      loaded.add(Codec<V>::decode(value, key), key);
    }
    *this = std::move(loaded);
  }

  void clear() noexcept {
    entries_.clear();
    index_.clear();
  }

  auto begin() noexcept { return entries_.begin(); }
  auto end() noexcept { return entries_.end(); }
  auto begin() const noexcept { return entries_.begin(); }
  auto end() const noexcept { return entries_.end(); }

  bool operator==(const MapDb& other) const { return entries_ == other.entries_; }

 private:
  std::size_t checkedPosition(long long idx) const {
    long long count = static_cast<long long>(entries_.size());
    long long position = idx < 0 ? idx + count : idx;
    if (position < 0 || position >= count) throw std::out_of_range("MapDb index out of range");
    return static_cast<std::size_t>(position);
  }

  void rebuildIndex() {
    index_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(entries_[i].first, i);
  }

  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

template <class V>
struct Codec<MapDb<V>> {
  static Json encode(const MapDb<V>& map) {
    Json out = Json::object();
    for (const auto& [key, value] : map) out[key] = Codec<V>::encode(value);
    return out;
  }
  static MapDb<V> decode(const Json& json, const std::string& path) {
    if (!json.is_object()) detail::throwWrongType(path, "object", json);
    MapDb<V> map;
    for (const auto& [key, value] : json.items()) {
      map.add(Codec<V>::decode(value, detail::memberPath(path, key)), key);
    }
    return map;
  }
  static std::size_t hash(const MapDb<V>& map) {
    std::size_t seed = map.size();
    for (const auto& [key, value] : map) {
      detail::hashCombine(seed, std::hash<std::string>{}(key));
      detail::hashCombine(seed, Codec<V>::hash(value));
    }
    return seed;
  }
  static Json attributes(const MapDb<V>& map) {
    Json out = Json::object();
    for (const auto& [key, value] : map) out[key] = Codec<V>::attributes(value);
    return out;
  }
};

}  // namespace veltrano
