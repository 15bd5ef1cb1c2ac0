#include <openssl/hmac.h>

#include <array>

#include "FuzzInput.hpp"
#include "http/Session.hpp"

namespace {

constexpr std::int64_t NOW = 1'780'000'000;
const std::string KEY = "fuzzing key";

std::string signature(const std::string& body) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  HMAC(EVP_sha256(), KEY.data(), static_cast<int>(KEY.size()),
       reinterpret_cast<const unsigned char*>(body.data()), body.size(), digest.data(), &length);
  return std::string(reinterpret_cast<const char*>(digest.data()), length);
}

}  // namespace

// Odd first byte: the rest is a Cookie header. Even: the rest is a payload, signed here with
// the server's key, so the decoder's JSON checks are reached too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veltrano;
  if (size == 0)
    return 0;
  static const SessionSigner signer(KEY, [] { return NOW; });
  auto text = fuzz::asText(data + 1, size - 1);
  std::optional<Session> session;
  if (data[0] % 2 == 1) {
    if (auto value = findCookie(text, SESSION_COOKIE_NAME))
      session = signer.decode(*value);
  } else {
    std::string body = base64UrlEncode(text);
    session = signer.decode(body + "." + base64UrlEncode(signature(body)));
  }
  if (session) {
    auto again = signer.decode(signer.encode(*session));
    fuzz::require(again && again->loggedIn == session->loggedIn, "a session does not read back");
  }
  return 0;
}
