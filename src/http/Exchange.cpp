#include "http/Exchange.hpp"

#include <charconv>

#include "foundation/JsonLimits.hpp"

namespace veltrano {

Session& Exchange::session() {
  if (!session_) {
    std::optional<Session> decoded;
    if (request_.hasHeader("Cookie")) {
      if (auto value = findCookie(request_.header("Cookie"), SESSION_COOKIE_NAME)) {
        decoded = signer_.decode(*value);
      }
    }
    // A login that has ended, or a cookie from before logins were kept, is no login.
    if (decoded && decoded->loggedIn && !registry_.isLive(decoded->id))
      decoded.reset();
    session_ = decoded.value_or(Session{});
  }
  return *session_;
}

void Exchange::logIn(bool permanent) {
  Session& current = session();
  if (current.loggedIn)
    registry_.close(current.id);
  current.loggedIn = true;
  current.permanent = permanent;
  current.id = registry_.open(SessionSigner::systemNow());
  commitSession();
}

void Exchange::logOut() {
  Session& current = session();
  registry_.close(current.id);
  current.loggedIn = false;
  current.id.clear();
  commitSession();
}

void Exchange::endAllLogins() {
  registry_.closeAll();
  if (session_) {
    session_->loggedIn = false;
    session_->id.clear();
  }
}

void Exchange::commitSession() {
  response_.setHeader("Set-Cookie", signer_.setCookieHeader(session()));
}

std::string Exchange::pathParameter(std::size_t n) const {
  if (n >= request_.pathParameters.size())
    return "";
  return request_.pathParameters[n];
}

void Exchange::json(const Json& value) {
  response_.status = 200;
  response_.setContent(jsonText(value), "application/json");
}

void Exchange::text(std::string_view body) {
  response_.status = 200;
  response_.setContent(std::string(body), "text/plain; charset=utf-8");
}

void Exchange::redirect(const std::string& location) {
  response_.status = 302;
  response_.setHeader("Location", location);
}

Json parseRequestJson(std::string_view text) {
  try {
    return parseJson(text, REQUEST_JSON_LIMITS);
  } catch (const JsonInputError&) {
    return Json(Json::value_t::discarded);
  }
}

std::string jsonText(const Json& value) {
  return dumpReplacingInvalidUtf8(value);
}

int parseInteger(std::string_view text, std::string_view what) {
  std::string_view digits = text;
  while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t')) {
    digits.remove_prefix(1);
  }
  while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t')) {
    digits.remove_suffix(1);
  }
  bool plus = !digits.empty() && digits.front() == '+';
  if (plus)
    digits.remove_prefix(1);
  int value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || (plus && digits.front() == '-') || error != std::errc() ||
      end != digits.data() + digits.size()) {
    throw std::invalid_argument("Invalid integer for " + std::string(what) + ": '" +
                                std::string(text) + "'");
  }
  return value;
}

}  // namespace veltrano
