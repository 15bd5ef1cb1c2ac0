#include "foundation/Crypto.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace veltrano {
namespace {

std::string toHex(const unsigned char* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0f];
  }
  return out;
}

struct DigestContextDeleter {
  void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

class Digest {
 public:
  explicit Digest(const EVP_MD* algorithm) : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), algorithm, nullptr) != 1) {
      throw std::runtime_error("Cannot initialise digest");
    }
  }
  void update(const void* data, std::size_t length) {
    if (EVP_DigestUpdate(context_.get(), data, length) != 1) {
      throw std::runtime_error("Digest update failed");
    }
  }
  std::string hex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), out.data(), &length) != 1) {
      throw std::runtime_error("Digest final failed");
    }
    return toHex(out.data(), length);
  }

 private:
  DigestContext context_;
};

std::vector<unsigned char> randomBytes(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
    throw std::runtime_error("The random source failed");
  }
  return bytes;
}

}  // namespace

std::string getHash(std::string_view text) {
  Digest digest(EVP_sha256());
  digest.update(text.data(), text.size());
  return digest.hex();
}

struct Sha256::State {
  Digest digest{EVP_sha256()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::update(std::string_view bytes) {
  state_->digest.update(bytes.data(), bytes.size());
}

std::string Sha256::hex() {
  return state_->digest.hex();
}

std::string md5Hex(std::string_view bytes) {
  Digest digest(EVP_md5());
  digest.update(bytes.data(), bytes.size());
  return digest.hex();
}

std::string md5HexOfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("Cannot read file: " + path);
  Digest digest(EVP_md5());
  std::array<char, 64 * 1024> buffer{};
  while (in) {
    in.read(buffer.data(), buffer.size());
    digest.update(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad())
    throw std::runtime_error("Cannot read file: " + path);
  return digest.hex();
}

std::string randomHex(std::size_t byteCount) {
  auto bytes = randomBytes(byteCount);
  return toHex(bytes.data(), bytes.size());
}

std::string randomUuid() {
  auto bytes = randomBytes(16);
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
  std::string hex = toHex(bytes.data(), bytes.size());
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

bool constantTimeEquals(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size())
    return false;
  return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string base64Encode(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(length));
  return out;
}

}  // namespace veltrano
