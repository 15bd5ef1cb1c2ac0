#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <nlohmann/ordered_map.hpp>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrano {

// A keyed hash of a member name, seeded at random once per process so that nobody can choose
// names that all land in one slot.
std::uint64_t memberNameHash(std::string_view name) noexcept;

// The object type of our Json: nlohmann's ordered_map (members in insertion order, the first
// of a duplicated name found, a later value of it written in place) with a hash index once an
// object has more than a few members. ordered_map finds a name by a linear search, so parsing
// or building an object of n members cost n² comparisons.
//
// The index maps a name to its position and is kept up to date by every member function that
// changes the map; the vector functions that could bypass it are hidden. Reading never
// changes it, so a map may be read from several threads at once.
template <class Key, class T, class IgnoredLess = std::less<Key>,
          class Allocator = std::allocator<std::pair<const Key, T>>>
class IndexedMap : public nlohmann::ordered_map<Key, T, IgnoredLess, Allocator> {
  using Base = nlohmann::ordered_map<Key, T, IgnoredLess, Allocator>;
  using Container = typename Base::Container;

 public:
  using key_type = Key;
  using mapped_type = T;
  using iterator = typename Base::iterator;
  using const_iterator = typename Base::const_iterator;
  using size_type = typename Base::size_type;
  using value_type = typename Base::value_type;
  using key_compare = typename Base::key_compare;

  IndexedMap() noexcept(noexcept(Base())) : Base() {}
  explicit IndexedMap(const Allocator& alloc) noexcept(noexcept(Base(alloc))) : Base(alloc) {}
  template <class It>
  IndexedMap(It first, It last, const Allocator& alloc = Allocator()) : Base(first, last, alloc) {
    rebuildIndex();
  }
  IndexedMap(std::initializer_list<value_type> init, const Allocator& alloc = Allocator())
      : Base(init, alloc) {
    rebuildIndex();
  }
  IndexedMap(const IndexedMap& other) : Base(other) { rebuildIndex(); }
  IndexedMap(IndexedMap&& other) noexcept
      : Base(std::move(static_cast<Base&>(other))), index_(std::move(other.index_)) {}
  IndexedMap& operator=(const IndexedMap& other) {
    if (this != &other) {
      IndexedMap copy(other);
      *this = std::move(copy);
    }
    return *this;
  }
  IndexedMap& operator=(IndexedMap&& other) noexcept {
    // The elements' keys are const, so the vector cannot move-assign them one by one.
    Container::swap(other);
    index_.swap(other.index_);
    return *this;
  }
  ~IndexedMap() = default;

  std::pair<iterator, bool> emplace(const key_type& key, T&& t) {
    return emplaceKey(key, std::move(t));
  }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  std::pair<iterator, bool> emplace(KeyType&& key, T&& t) {
    return emplaceKey(std::forward<KeyType>(key), std::move(t));
  }

  T& operator[](const key_type& key) { return emplaceKey(key, T{}).first->second; }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  T& operator[](KeyType&& key) {
    return emplaceKey(std::forward<KeyType>(key), T{}).first->second;
  }
  const T& operator[](const key_type& key) const { return at(key); }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  const T& operator[](KeyType&& key) const {
    return at(std::forward<KeyType>(key));
  }

  T& at(const key_type& key) { return atName(key); }
  const T& at(const key_type& key) const { return atName(key); }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  T& at(KeyType&& key) {
    return atName(key);
  }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  const T& at(KeyType&& key) const {
    return atName(key);
  }

  size_type count(const key_type& key) const { return positionOf(key) != NOT_FOUND ? 1 : 0; }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  size_type count(KeyType&& key) const {
    return positionOf(key) != NOT_FOUND ? 1 : 0;
  }

  iterator find(const key_type& key) { return iteratorAt(positionOf(key)); }
  const_iterator find(const key_type& key) const { return iteratorAt(positionOf(key)); }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  iterator find(KeyType&& key) {
    return iteratorAt(positionOf(key));
  }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  const_iterator find(KeyType&& key) const {
    return iteratorAt(positionOf(key));
  }

  size_type erase(const key_type& key) { return eraseName(key); }
  template <
      class KeyType,
      nlohmann::detail::enable_if_t<
          nlohmann::detail::is_usable_as_key_type<key_compare, key_type, KeyType>::value, int> = 0>
  size_type erase(KeyType&& key) {
    return eraseName(key);
  }
  iterator erase(iterator pos) { return erase(pos, std::next(pos)); }
  iterator erase(iterator first, iterator last) {
    iterator next = Base::erase(first, last);
    rebuildIndex();
    return next;
  }

  std::pair<iterator, bool> insert(value_type&& value) {
    return emplaceKey(value.first, std::move(value.second));
  }
  std::pair<iterator, bool> insert(const value_type& value) {
    std::size_t found = positionOf(value.first);
    if (found != NOT_FOUND)
      return {iteratorAt(found), false};
    Container::push_back(value);
    indexLast();
    return {std::prev(this->end()), true};
  }
  template <typename InputIt, typename = typename Base::template require_input_iter<InputIt>>
  void insert(InputIt first, InputIt last) {
    for (auto it = first; it != last; ++it)
      insert(*it);
  }

  void clear() noexcept {
    Container::clear();
    index_.reset();
  }

 private:
  // Changing the vector behind the index's back would make lookups wrong.
  using Base::assign;
  using Base::emplace_back;
  using Base::pop_back;
  using Base::push_back;
  using Base::resize;
  using Base::swap;

  // Below this many members a linear search is as fast and needs no memory.
  static constexpr std::size_t INDEX_FROM = 16;
  static constexpr std::size_t NOT_FOUND = static_cast<std::size_t>(-1);

  // Open addressing with linear probing, at most half full.
  struct Slot {
    std::uint32_t tag = 0;       // upper bits of the name's hash
    std::uint32_t position = 0;  // position + 1; 0 is an empty slot
  };
  using Index = std::vector<Slot>;

  const value_type& element(std::size_t position) const noexcept {
    return Container::operator[](position);
  }

  std::size_t positionOf(std::string_view key) const noexcept {
    if (!index_) {
      for (std::size_t i = 0; i < this->size(); ++i) {
        if (std::string_view(element(i).first) == key)
          return i;
      }
      return NOT_FOUND;
    }
    const std::uint64_t hash = memberNameHash(key);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    const std::size_t mask = index_->size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const Slot& entry = (*index_)[slot];
      if (entry.position == 0)
        return NOT_FOUND;
      if (entry.tag == tag && std::string_view(element(entry.position - 1).first) == key)
        return entry.position - 1;
    }
  }

  iterator iteratorAt(std::size_t position) noexcept {
    return position == NOT_FOUND ? this->end()
                                 : this->begin() + static_cast<std::ptrdiff_t>(position);
  }
  const_iterator iteratorAt(std::size_t position) const noexcept {
    return position == NOT_FOUND ? this->end()
                                 : this->begin() + static_cast<std::ptrdiff_t>(position);
  }

  template <class KeyType>
  std::pair<iterator, bool> emplaceKey(KeyType&& key, T&& t) {
    std::size_t found = positionOf(key);
    if (found != NOT_FOUND)
      return {iteratorAt(found), false};
    Container::emplace_back(std::forward<KeyType>(key), std::move(t));
    indexLast();
    return {std::prev(this->end()), true};
  }

  template <class KeyType>
  T& atName(const KeyType& key) const {
    std::size_t found = positionOf(key);
    if (found == NOT_FOUND)
      throw std::out_of_range("key not found");
    return const_cast<T&>(element(found).second);
  }

  template <class KeyType>
  size_type eraseName(const KeyType& key) {
    std::size_t found = positionOf(key);
    if (found == NOT_FOUND)
      return 0;
    erase(iteratorAt(found));
    return 1;
  }

  // Adds the last element to the index, growing or creating it as needed.
  void indexLast() noexcept {
    if (index_ && this->size() * 2 <= index_->size()) {
      place(*index_, this->size() - 1);
      return;
    }
    if (!index_ && this->size() <= INDEX_FROM)
      return;
    try {
      rebuildIndex();
    } catch (const std::bad_alloc&) {
      // The element is in already: without an index it is still found, by a linear search.
      index_.reset();
    }
  }

  void place(Index& index, std::size_t position) const noexcept {
    const std::uint64_t hash = memberNameHash(element(position).first);
    const std::size_t mask = index.size() - 1;
    std::size_t slot = hash & mask;
    while (index[slot].position != 0)
      slot = (slot + 1) & mask;
    index[slot] =
        Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(position + 1)};
  }

  void rebuildIndex() {
    if (this->size() <= INDEX_FROM) {
      index_.reset();
      return;
    }
    std::size_t slots = 64;
    while (slots < this->size() * 4)
      slots *= 2;
    auto index = std::make_unique<Index>(slots);
    // A duplicated name (only from a range of pairs) keeps its first position, as a linear
    // search would find it.
    for (std::size_t i = this->size(); i-- > 0;) {
      const std::uint64_t hash = memberNameHash(element(i).first);
      const std::size_t mask = slots - 1;
      std::size_t slot = hash & mask;
      const auto tag = static_cast<std::uint32_t>(hash >> 32);
      while ((*index)[slot].position != 0 &&
             !((*index)[slot].tag == tag &&
               element((*index)[slot].position - 1).first == element(i).first))
        slot = (slot + 1) & mask;
      (*index)[slot] = Slot{tag, static_cast<std::uint32_t>(i + 1)};
    }
    index_ = std::move(index);
  }

  std::unique_ptr<Index> index_;
};

}  // namespace veltrano
