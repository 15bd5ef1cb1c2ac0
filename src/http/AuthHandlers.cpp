#include "http/AuthHandlers.hpp"

namespace veltrano {
namespace {

Json parseBody(const Exchange& exchange) {
  Json body = parseRequestJson(exchange.request().body);
  if (body.is_discarded())
    throw BadRequest("The request body is not valid JSON");
  return body;
}

}  // namespace

bool needsLogin(HttpContext& context, Exchange& exchange) {
  bool passwordSet = context.stores.lock().shadow().isPasswordSet();
  return passwordSet && !exchange.session().loggedIn;
}

void endpoint_whoami(HttpContext&, Exchange& exchange) {
  exchange.text(WHO_AM_I);
}

void auth_login(HttpContext& context, Exchange& exchange, LoginThrottle& throttle) {
  const std::string& address = exchange.request().remoteAddress;
  if (auto wait = throttle.admitAttempt(address); wait.count() > 0) {
    std::string seconds = std::to_string(wait.count());
    exchange.response().setHeader("Retry-After", seconds);
    throw HttpError(
        429, "Too many failed logins from this computer. Try again in " + seconds + " seconds.");
  }
  // A malformed login is a guess too: it must not be a way around the throttle.
  Json body;
  try {
    body = parseBody(exchange);
    if (!body.is_object())
      throw BadRequest("The login request must be a JSON object");
  } catch (const BadRequest&) {
    throttle.recordFailure(address);
    throw;
  }
  auto password = body.find("userPassword");
  if (password == body.end() || !password->is_string()) {
    throttle.recordFailure(address);
    throw BadRequest("The login request needs userPassword as a text");
  }
  bool matching =
      context.stores.lock().shadow().isPasswordMatching(password->get_ref<const std::string&>());
  if (!matching) {
    throttle.recordFailure(address);
    throw BadRequest("Login failed");
  }
  // Read only after a match, so a wrong password without it still answers "Login failed".
  auto remember = body.find("remember");
  if (remember == body.end())
    throw BadRequest("The login request needs remember");
  if (!remember->is_boolean())
    throw BadRequest("The login request needs remember as true or false");

  throttle.recordSuccess(address);
  exchange.logIn(remember->get<bool>());
  exchange.redirect("/");
}

void auth_logout(HttpContext&, Exchange& exchange) {
  exchange.logOut();
  exchange.redirect("/login");
}

void auth_chpasswd(HttpContext& context, Exchange& exchange, SessionSigner& sessions) {
  Json body = parseBody(exchange);
  if (!body.is_string())
    throw BadRequest("The new password must be a JSON text");
  // Read under the old key, before it changes.
  Session& session = exchange.session();
  bool permanent = session.loggedIn && session.isPermanent();
  {
    auto access = context.stores.lock();
    access.shadow().setPassword(body.get_ref<const std::string&>());
    sessions.setKey(sessionSigningKey(access.shadow()));
  }
  // Every other browser must log in with the new password; this one stays logged in.
  exchange.endAllLogins();
  exchange.logIn(permanent);
  exchange.text("ok");
}

void auth_sessions(HttpContext&, Exchange& exchange) {
  Json answer = Json::object();
  answer["count"] = exchange.loginCount();
  exchange.json(answer);
}

void auth_logout_everywhere(HttpContext&, Exchange& exchange) {
  exchange.endAllLogins();
  exchange.logOut();
  exchange.text("ok");
}

std::string sessionSigningKey(Shadow& shadow) {
  return shadow.getCurrentSalt() + shadow.password.value_or("");
}

}  // namespace veltrano
