#include "http/Session.hpp"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <stdexcept>

#include "foundation/Crypto.hpp"
#include "http/Exchange.hpp"

namespace veltrano {
namespace {

constexpr std::string_view BASE64_URL_ALPHABET =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int base64UrlValue(char c) noexcept {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '-')
    return 62;
  if (c == '_')
    return 63;
  return -1;
}

std::string_view trimBlanks(std::string_view text) noexcept {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::string base64UrlEncode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    auto n = (static_cast<unsigned char>(bytes[i]) << 16) |
             (static_cast<unsigned char>(bytes[i + 1]) << 8) |
             static_cast<unsigned char>(bytes[i + 2]);
    out += BASE64_URL_ALPHABET[(n >> 18) & 63];
    out += BASE64_URL_ALPHABET[(n >> 12) & 63];
    out += BASE64_URL_ALPHABET[(n >> 6) & 63];
    out += BASE64_URL_ALPHABET[n & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2)
      n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += BASE64_URL_ALPHABET[(n >> 18) & 63];
    out += BASE64_URL_ALPHABET[(n >> 12) & 63];
    if (rest == 2)
      out += BASE64_URL_ALPHABET[(n >> 6) & 63];
  }
  return out;
}

std::optional<std::string> base64UrlDecode(std::string_view text) {
  if (text.size() % 4 == 1)
    return std::nullopt;
  std::string out;
  out.reserve(text.size() * 3 / 4);
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    int value = base64UrlValue(c);
    if (value < 0)
      return std::nullopt;
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xff);
    }
  }
  // Leftover bits must be zero, so every value has exactly one encoding.
  if ((buffer & ((1u << bits) - 1)) != 0)
    return std::nullopt;
  return out;
}

std::optional<std::string> findCookie(std::string_view cookieHeader, std::string_view name) {
  while (!cookieHeader.empty()) {
    auto end = cookieHeader.find(';');
    auto pair = trimBlanks(cookieHeader.substr(0, end));
    auto equals = pair.find('=');
    if (equals != std::string_view::npos && trimBlanks(pair.substr(0, equals)) == name) {
      auto value = trimBlanks(pair.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      return std::string(value);
    }
    if (end == std::string_view::npos)
      break;
    cookieHeader.remove_prefix(end + 1);
  }
  return std::nullopt;
}

SessionSigner::SessionSigner(std::string key, Now now)
    : now_(std::move(now)), key_(std::move(key)) {}

void SessionSigner::setKey(std::string key) {
  std::lock_guard lock(mutex_);
  key_ = std::move(key);
}

std::int64_t SessionSigner::systemNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string SessionSigner::sign(std::string_view payload) const {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  std::lock_guard lock(mutex_);
  if (!HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
            reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), digest.data(),
            &length)) {
    throw std::runtime_error("Cannot sign the session");
  }
  return std::string(reinterpret_cast<const char*>(digest.data()), length);
}

std::string SessionSigner::encode(Session session) const {
  session.issuedAt = now_();
  Json payload = {{"loggedIn", session.loggedIn},
                  {"permanent", session.permanent},
                  {"iat", session.issuedAt},
                  {"sid", session.id}};
  std::string body = base64UrlEncode(payload.dump());
  return body + "." + base64UrlEncode(sign(body));
}

std::optional<Session> SessionSigner::decode(std::string_view cookieValue) const {
  auto dot = cookieValue.find('.');
  if (dot == std::string_view::npos)
    return std::nullopt;
  auto body = cookieValue.substr(0, dot);
  auto signature = base64UrlDecode(cookieValue.substr(dot + 1));
  if (!signature || !constantTimeEquals(*signature, sign(body)))
    return std::nullopt;
  auto payloadText = base64UrlDecode(body);
  if (!payloadText)
    return std::nullopt;
  Json payload = parseRequestJson(*payloadText);
  if (!payload.is_object())
    return std::nullopt;
  auto loggedIn = payload.find("loggedIn");
  auto issuedAt = payload.find("iat");
  if (loggedIn == payload.end() || !loggedIn->is_boolean() || issuedAt == payload.end() ||
      !issuedAt->is_number_integer()) {
    return std::nullopt;
  }
  Session session;
  session.loggedIn = loggedIn->get<bool>();
  session.permanent = payload.value("permanent", Json(nullptr));
  if (auto id = payload.find("sid"); id != payload.end() && id->is_string())
    session.id = id->get<std::string>();
  session.issuedAt = issuedAt->get<std::int64_t>();
  // Compared this way round so that no stamp, however far off, overflows the subtraction.
  if (session.issuedAt < now_() - SESSION_LIFETIME.count())
    return std::nullopt;
  return session;
}

std::string SessionSigner::setCookieHeader(const Session& session) const {
  std::string header = std::string(SESSION_COOKIE_NAME) + "=" + encode(session) +
                       "; HttpOnly; SameSite=Strict; Path=/";
  if (session.isPermanent())
    header += "; Max-Age=" + std::to_string(SESSION_LIFETIME.count());
  return header;
}

}  // namespace veltrano
