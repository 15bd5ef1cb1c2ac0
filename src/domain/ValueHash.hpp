#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>

namespace veltrano::detail {

// Mixes one more value into a running hash (order-sensitive).
inline std::size_t mixHash(std::size_t seed, std::size_t value) noexcept {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

inline std::size_t hashInts(std::initializer_list<int> values) noexcept {
  std::size_t seed = values.size();
  for (int v : values)
    seed = mixHash(seed, std::hash<int>{}(v));
  return seed;
}

}  // namespace veltrano::detail
