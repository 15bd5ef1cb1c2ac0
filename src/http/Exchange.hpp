#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "foundation/Json.hpp"
#include "http/HttpMessage.hpp"
#include "http/Session.hpp"
#include "http/SessionRegistry.hpp"

namespace veltrano {

// Ends a request with a status and a plain-text body (400 is the system's BadRequest).
class HttpError : public std::runtime_error {
 public:
  HttpError(int status, const std::string& text) : std::runtime_error(text), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

// The 400 answer whose body is exactly the given text.
class BadRequest : public HttpError {
 public:
  explicit BadRequest(const std::string& text) : HttpError(400, text) {}
};

// One request being answered, with the browser's session.
class Exchange {
 public:
  Exchange(const HttpRequest& request, HttpResponse& response, const SessionSigner& signer,
           SessionRegistry& registry, std::shared_ptr<BodySink> bodySink = nullptr)
      : request_(request),
        response_(response),
        signer_(signer),
        registry_(registry),
        bodySink_(std::move(bodySink)) {}

  const HttpRequest& request() const noexcept { return request_; }
  HttpResponse& response() noexcept { return response_; }
  // What took the body as it arrived, for a route that streams its body.
  BodySink* bodySink() const noexcept { return bodySink_.get(); }

  // The browser's session, read from its cookie on first use; an empty session when the
  // cookie is missing, fails its check or names a login that has ended.
  Session& session();
  // Sends the session back to the browser as its new cookie.
  void commitSession();
  // Starts a new login for this browser and sends its cookie.
  void logIn(bool permanent);
  // Ends this browser's login for good and sends the logged-out cookie.
  void logOut();
  // Ends every browser's login (a new password, a restored one, "sign out everywhere").
  void endAllLogins();
  // How many browsers are logged in.
  std::size_t loginCount() const { return registry_.count(); }

  // The n-th group of the route's pattern (path parameters count from 1).
  std::string pathParameter(std::size_t n) const;

  // 200 with the JSON text of value (compact, members in order, non-ASCII escaped).
  void json(const Json& value);
  // 200 with a plain-text body.
  void text(std::string_view body);
  // 302 to location.
  void redirect(const std::string& location);

 private:
  const HttpRequest& request_;
  HttpResponse& response_;
  const SessionSigner& signer_;
  SessionRegistry& registry_;
  std::shared_ptr<BodySink> bodySink_;
  std::optional<Session> session_;
};

// JSON from a request (or a cookie), parsed within the request limits in linear time; a
// discarded value when it is not JSON or passes a limit, so each route keeps its own refusal.
Json parseRequestJson(std::string_view text);

// The text form of a JSON value as every HTTP answer writes it.
std::string jsonText(const Json& value);

// A decimal integer with an optional sign, blanks around it tolerated; std::invalid_argument
// naming what for anything else (including values outside int).
int parseInteger(std::string_view text, std::string_view what);

}  // namespace veltrano
