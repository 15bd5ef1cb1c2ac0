#include "foundation/IndexedMap.hpp"

#include <array>
#include <random>

namespace veltrano {
namespace {

std::uint64_t rotl(std::uint64_t x, int b) noexcept {
  return (x << b) | (x >> (64 - b));
}

void sipRound(std::array<std::uint64_t, 4>& v) noexcept {
  v[0] += v[1];
  v[1] = rotl(v[1], 13);
  v[1] ^= v[0];
  v[0] = rotl(v[0], 32);
  v[2] += v[3];
  v[3] = rotl(v[3], 16);
  v[3] ^= v[2];
  v[0] += v[3];
  v[3] = rotl(v[3], 21);
  v[3] ^= v[0];
  v[2] += v[1];
  v[1] = rotl(v[1], 17);
  v[1] ^= v[2];
  v[2] = rotl(v[2], 32);
}

std::array<std::uint64_t, 2> randomKey() {
  std::random_device device;
  std::array<std::uint64_t, 2> key{};
  for (auto& word : key)
    word = (std::uint64_t{device()} << 32) ^ device();
  return key;
}

std::uint64_t littleEndianWord(const unsigned char* bytes) noexcept {
  std::uint64_t word = 0;
  for (int i = 7; i >= 0; --i)
    word = (word << 8) | bytes[i];
  return word;
}

}  // namespace

// SipHash-1-3: fast on short names, and without its key nobody can make names collide.
std::uint64_t memberNameHash(std::string_view name) noexcept {
  static const std::array<std::uint64_t, 2> KEY = randomKey();
  std::array<std::uint64_t, 4> v{KEY[0] ^ 0x736f6d6570736575ULL, KEY[1] ^ 0x646f72616e646f6dULL,
                                 KEY[0] ^ 0x6c7967656e657261ULL, KEY[1] ^ 0x7465646279746573ULL};
  const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
  const std::size_t whole = name.size() & ~std::size_t{7};
  for (std::size_t at = 0; at < whole; at += 8) {
    const std::uint64_t m = littleEndianWord(bytes + at);
    v[3] ^= m;
    sipRound(v);
    v[0] ^= m;
  }
  std::uint64_t last = static_cast<std::uint64_t>(name.size()) << 56;
  for (std::size_t i = 0; i < name.size() - whole; ++i)
    last |= std::uint64_t{bytes[whole + i]} << (8 * i);
  v[3] ^= last;
  sipRound(v);
  v[0] ^= last;
  v[2] ^= 0xff;
  for (int i = 0; i < 3; ++i)
    sipRound(v);
  return v[0] ^ v[1] ^ v[2] ^ v[3];
}

}  // namespace veltrano
