#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Json.hpp"

namespace veltrano {

// The signing key the HTTP application starts with; start-up replaces it by the password
// salt before anything is served.
inline constexpr std::string_view DEFAULT_SESSION_SIGNING_KEY =
    "3b7e0c19d4a2f85e6c01b9d7a4e3f2c18d5b6a0e9f47c2d13b8e5a6f0c9d2e71";

// Name of the session cookie.
inline constexpr std::string_view SESSION_COOKIE_NAME = "session";

// How long a signed session stays valid, and the lifetime of a remembered login's cookie.
inline constexpr std::chrono::seconds SESSION_LIFETIME{31LL * 24 * 3600};

// What a browser's session cookie holds. A login counts only while its id is live in the
// player's SessionRegistry.
struct Session {
  bool loggedIn = false;
  // The login's id in the registry; empty while logged out.
  std::string id;
  // The remember-me choice as the client sent it; null while never set.
  Json permanent = nullptr;
  // Seconds since the epoch when the cookie was signed.
  std::int64_t issuedAt = 0;

  bool isPermanent() const noexcept { return permanent.is_boolean() && permanent.get<bool>(); }
};

// Signs sessions into cookie values and checks them: HMAC-SHA256 over the payload under the
// signing key. A cookie that was tampered with, signed under another key, malformed or older
// than SESSION_LIFETIME reads as no session at all. Thread-safe.
class SessionSigner {
 public:
  using Now = std::function<std::int64_t()>;  // seconds since the epoch

  explicit SessionSigner(std::string key = std::string(DEFAULT_SESSION_SIGNING_KEY),
                         Now now = systemNow);

  // Existing cookies signed under the old key stop being valid.
  void setKey(std::string key);

  // The cookie value: base64url(payload) "." base64url(signature). Stamps issuedAt with now.
  std::string encode(Session session) const;
  // nullopt for anything this signer did not sign within the lifetime.
  std::optional<Session> decode(std::string_view cookieValue) const;

  // The whole Set-Cookie header value: HttpOnly, SameSite=Strict, Path=/, and a Max-Age of
  // SESSION_LIFETIME only for a remembered login (otherwise it ends with the browser).
  std::string setCookieHeader(const Session& session) const;

  static std::int64_t systemNow();

 private:
  std::string sign(std::string_view payload) const;

  const Now now_;
  mutable std::mutex mutex_;
  std::string key_;  // protected by mutex_
};

// The value of one cookie of a "Cookie" request header; nullopt when it is not there.
std::optional<std::string> findCookie(std::string_view cookieHeader, std::string_view name);

// URL- and cookie-safe base64 without padding.
std::string base64UrlEncode(std::string_view bytes);
// nullopt for text that is not such base64.
std::optional<std::string> base64UrlDecode(std::string_view text);

}  // namespace veltrano
