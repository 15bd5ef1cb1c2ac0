#pragma once

#include <string_view>

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"
#include "http/LoginThrottle.hpp"

namespace veltrano {

// The body of /whoami; a second instance compares against it to find its running twin.
inline constexpr std::string_view WHO_AM_I = "Veltrano Player Backend";

// True when a password is set and this browser has not logged in. Takes the store lock.
bool needsLogin(HttpContext& context, Exchange& exchange);

void endpoint_whoami(HttpContext& context, Exchange& exchange);
// Body {"userPassword": text, "remember": any}: on a match logs the browser in and
// redirects to "/", otherwise 400 "Login failed". While the throttle makes the client's
// address wait, 429 with Retry-After, and the password is not checked.
void auth_login(HttpContext& context, Exchange& exchange, LoginThrottle& throttle);
void auth_logout(HttpContext& context, Exchange& exchange);
// Body: the new password as a JSON text. Setting the first password logs this browser in.
// Every other session ends: sessions are signed under a key that includes the password
// digest, and this browser gets a fresh cookie under the new key.
void auth_chpasswd(HttpContext& context, Exchange& exchange, SessionSigner& sessions);
// GET /auth/sessions: {"count": the number of browsers logged in}.
void auth_sessions(HttpContext& context, Exchange& exchange);
// POST /auth/logout-everywhere: ends every browser's login, this one's too.
void auth_logout_everywhere(HttpContext& context, Exchange& exchange);

// The key that signs sessions: the salt, and the password digest while one is set.
std::string sessionSigningKey(Shadow& shadow);

}  // namespace veltrano
