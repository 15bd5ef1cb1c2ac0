#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace veltrano {

// SHA-256 of the UTF-8 bytes of text, as 64 lower-case hex digits.
std::string getHash(std::string_view text);

// SHA-256 of bytes fed piece by piece, for content too large to hold at once.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::string_view bytes);
  // 64 lower-case hex digits; call once, after the last update.
  std::string hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// MD5 of the bytes, as 32 lower-case hex digits.
std::string md5Hex(std::string_view bytes);

// MD5 of a whole file, read in chunks; throws std::runtime_error when it cannot be read.
std::string md5HexOfFile(const std::string& path);

// byteCount bytes from the operating system's cryptographic random source, as hex digits.
std::string randomHex(std::size_t byteCount);

// A random version-4 UUID in canonical form (8-4-4-4-12 lower-case hex digits).
std::string randomUuid();

// Standard base64 (with padding) of the bytes.
std::string base64Encode(std::string_view bytes);

// Equality that takes the same time wherever the texts differ.
bool constantTimeEquals(std::string_view a, std::string_view b) noexcept;

}  // namespace veltrano
