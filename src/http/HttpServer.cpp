#include "http/HttpServer.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <charconv>
#include <exception>
#include <string_view>

#include "foundation/Crypto.hpp"
#include "foundation/TextChecks.hpp"
#include "http/AnnouncementHandlers.hpp"
#include "http/AuthHandlers.hpp"
#include "http/BackupHandlers.hpp"
#include "http/CalendarImportHandlers.hpp"
#include "http/CalendarSubscriptionHandlers.hpp"
#include "http/DatabaseHandlers.hpp"
#include "http/MonitoringHandlers.hpp"
#include "http/MultipartReader.hpp"
#include "http/ResponseHeaders.hpp"
#include "http/RoutePattern.hpp"
#include "http/StaticFiles.hpp"
#include "http/Targets.hpp"
#include "http/UploadHandlers.hpp"

namespace veltrano {
namespace {

constexpr std::string_view PLAIN_TEXT = "text/plain; charset=utf-8";

// A login or a new password is a few dozen bytes.
constexpr std::uint64_t LOGIN_BODY_LIMIT = 4 * 1024;
// Timetables, settings and imported events included.
constexpr std::uint64_t JSON_BODY_LIMIT = 1024 * 1024;
// Nothing reads the body of any other request; it may still carry a small one.
constexpr std::uint64_t OTHER_BODY_LIMIT = 1024 * 1024;

bool takesBody(const std::string& method) {
  return method == "POST" || method == "PUT" || method == "PATCH";
}

bool isChunked(const HttpRequest& request) {
  return equalsIgnoringCase(request.header("Transfer-Encoding"), "chunked");
}

// The declared length of the body; 0 when there is none or it is not a number (the parser has
// refused such a request already).
std::uint64_t contentLengthOf(const HttpRequest& request) {
  std::string text = request.header("Content-Length");
  std::uint64_t length = 0;
  std::from_chars(text.data(), text.data() + text.size(), length);
  return length;
}

std::string statusText(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 429:
      return "Too Many Requests";
    case 500:
      return "Internal Server Error";
    default:
      return "Error " + std::to_string(status);
  }
}

void addStandardHeaders(HttpResponse& response) {
  for (const auto& [name, value] : standardHeaders())
    response.setHeader(name, value);
}

// Refuses, before anything is stored, text that would later break a JSON dump and bodies
// nested deep enough to exhaust the stack when a handler copies them.
void checkRequestText(const HttpRequest& request) {
  if (!isValidUtf8(request.path))
    throw BadRequest("The path is not valid UTF-8");
  for (const auto& [name, value] : request.params) {
    if (!isValidUtf8(name) || !isValidUtf8(value))
      throw BadRequest("The query argument " + (isValidUtf8(name) ? name : "?") +
                       " is not valid UTF-8");
  }
  for (const auto& [name, part] : request.files) {
    // A file's content is audio; every other form field is text.
    bool textField = part.filename.empty();
    if (!isValidUtf8(name) || !isValidUtf8(part.filename) ||
        (textField && !isValidUtf8(part.content))) {
      throw BadRequest("The form field " + (isValidUtf8(name) ? name : "?") +
                       " is not valid UTF-8");
    }
  }
  if (!request.isMultipartForm() && !jsonNestingWithin(request.body, MAX_JSON_DEPTH)) {
    throw BadRequest("The request body nests deeper than " + std::to_string(MAX_JSON_DEPTH) +
                     " levels");
  }
}

}  // namespace

HttpServer::HttpServer(HttpContext context, ServerLimits limits, LiveEventTiming live)
    : context_(context),
      logins_(context.paths.getUserFilePath("sessions.json")),
      server_(*this, limits),
      liveEvents_(context_, live) {
  registerRoutes();
}

HttpServer::~HttpServer() {
  stop();
}

void HttpServer::registerRoutes() {
  get("/whoami", Guard::NONE, endpoint_whoami);
  post("/auth/login", Guard::NONE, Body::LOGIN, [this](HttpContext& context, Exchange& exchange) {
    auth_login(context, exchange, loginThrottle_);
  });
  get("/auth/logout", Guard::LOGIN, auth_logout, /*slow=*/false, /*changesState=*/true);
  post("/auth/chpasswd", Guard::LOGIN, Body::LOGIN,
       [this](HttpContext& context, Exchange& exchange) {
         auth_chpasswd(context, exchange, sessions_);
       });
  get("/auth/sessions", Guard::LOGIN, auth_sessions);
  post("/auth/logout-everywhere", Guard::LOGIN, Body::NONE, auth_logout_everywhere);
  get("/api/events", Guard::LOGIN, [this](HttpContext&, Exchange& exchange) {
    auto& response = exchange.response();
    response.setHeader("Content-Type", "text/event-stream");
    response.eventStreamOpened = [this](std::shared_ptr<EventChannel> channel) {
      liveEvents_.open(std::move(channel));
    };
  });
  get("/api/get/([^/]+)", Guard::LOGIN, get_endpoint);
  get("/api/trigger/([^/]+)/([^/]+)", Guard::LOGIN, trigger_endpoint, /*slow=*/false,
      /*changesState=*/true);
  get("/db", Guard::LOGIN, get_db);
  post("/upload", Guard::LOGIN, Body::UPLOAD, upload_file, /*slow=*/true);
  get("/get_signal_file/([^/]+)", Guard::LOGIN, get_signal_file);
  get("/db/timetables", Guard::LOGIN, get_timetables);
  post("/db/timetables/create", Guard::LOGIN, Body::JSON, timetables_create);
  post("/db/timetables/update/([^/]+)", Guard::LOGIN, Body::JSON, timetables_update);
  post("/db/settings/update", Guard::LOGIN, Body::JSON, update_settings);
  post("/db/calendar/preview-ics", Guard::LOGIN, Body::UPLOAD, calendar_preview_ics,
       /*slow=*/true);
  post("/db/calendar/import", Guard::LOGIN, Body::JSON, calendar_import);
  post("/db/calendar/subscriptions/add", Guard::LOGIN, Body::JSON, calendar_subscriptions_add);
  post("/db/calendar/subscriptions/delete/([^/]+)", Guard::LOGIN, Body::NONE,
       calendar_subscriptions_delete);
  // Waits on the calendars' servers: never on the quick lane.
  post("/db/calendar/subscriptions/refresh", Guard::LOGIN, Body::NONE,
       calendar_subscriptions_refresh, /*slow=*/true);
  post("/db/announcements/speak", Guard::LOGIN, Body::JSON, announcements_speak, /*slow=*/true);
  post("/db/announcements/preview", Guard::LOGIN, Body::JSON, announcements_preview,
       /*slow=*/true);
  get("/backup", Guard::LOGIN, get_backup, /*slow=*/true);
  get("/backup/snapshots", Guard::LOGIN, get_snapshots);
  post(
      RESTORE_PATH, Guard::LOGIN, Body::STREAMED,
      [this](HttpContext& context, Exchange& exchange) {
        restore_upload(context, exchange, sessions_);
      },
      /*slow=*/true);
  post(
      "/restore/snapshot/([^/]+)", Guard::LOGIN, Body::NONE,
      [this](HttpContext& context, Exchange& exchange) {
        restore_snapshot(context, exchange, sessions_);
      },
      /*slow=*/true);
  get("/metrics", Guard::LOGIN_OR_TOKEN, get_metrics);
  post("/alerts/test", Guard::LOGIN, Body::NONE, alerts_test, /*slow=*/true);
  // Last: every specific route wins over the catch-all.
  get("/(.*)", Guard::NONE, [](HttpContext& context, Exchange& exchange) {
    serve_static(context, exchange, exchange.pathParameter(1));
  });
}

void HttpServer::get(std::string pattern, Guard guard, Handler handler, bool slow,
                     bool changesState) {
  routes_.push_back(
      Route{"GET", std::move(pattern), guard, Body::NONE, changesState, slow, std::move(handler)});
}

void HttpServer::post(std::string pattern, Guard guard, Body body, Handler handler, bool slow) {
  routes_.push_back(Route{"POST", std::move(pattern), guard, body, /*changesState=*/true, slow,
                          std::move(handler)});
}

const HttpServer::Route* HttpServer::findRoute(const std::string& method, const std::string& path,
                                               std::vector<std::string>* groups) const {
  // A HEAD request is answered as its GET, without the body.
  const std::string& routeMethod = method == "HEAD" ? std::string("GET") : method;
  for (const auto& route : routes_) {
    if (route.method != routeMethod)
      continue;
    if (auto matched = matchRoute(route.pattern, path)) {
      if (groups)
        *groups = std::move(*matched);
      return &route;
    }
  }
  return nullptr;
}

std::string HttpServer::allowedMethods(const std::string& path) const {
  return findRoute("POST", path) ? "GET, HEAD, OPTIONS, POST" : "GET, HEAD, OPTIONS";
}

BodyPlan HttpServer::planBody(const HttpRequest& head) {
  BodyPlan plan;
  plan.limit = OTHER_BODY_LIMIT;
  if (head.path.size() > MAX_PATH_LENGTH) {
    plan.refusal.emplace(414, statusText(414));
    return plan;
  }
  const Route* route = findRoute(head.method, head.path);
  bool chunked = isChunked(head);
  if (takesBody(head.method) && !head.hasHeader("Content-Length") && !chunked) {
    plan.refusal.emplace(411, "The request has a body but no Content-Length header");
    return plan;
  }
  if (!route)
    return plan;
  // A body without a length cannot be refused by its size before it is read.
  if (chunked && route->body != Body::STREAMED) {
    plan.refusal.emplace(411, "Only /restore takes a body without a Content-Length header");
    return plan;
  }
  plan.slow = route->slow;
  // An oversized login is a refused guess as well.
  if (route->body == Body::LOGIN && route->guard == Guard::NONE &&
      contentLengthOf(head) > LOGIN_BODY_LIMIT && !isCrossSiteRequest(head)) {
    loginThrottle_.recordFailure(head.remoteAddress);
  }
  // The edge checks and the login come before the body.
  plan.checkHeadFirst = true;
  switch (route->body) {
    case Body::NONE:
      break;
    case Body::LOGIN:
      plan.limit = LOGIN_BODY_LIMIT;
      break;
    case Body::JSON:
      plan.limit = JSON_BODY_LIMIT;
      break;
    case Body::UPLOAD:
      plan.limit = MAX_UPLOAD_BYTES;
      break;
    case Body::STREAMED:
      plan.limit = MAX_RESTORE_UPLOAD_BYTES;
      plan.sink = [this, contentType = head.header("Content-Type")] {
        return std::shared_ptr<BodySink>(
            makeArchiveReceiver(context_.backups.newWorkFile(".tar.gz"), contentType));
      };
      break;
  }
  return plan;
}

std::optional<HttpResponse> HttpServer::checkHead(HttpRequest& head) {
  const Route* route = findRoute(head.method, head.path);
  if (auto refused = checkEdge(head, route))
    return refused;
  if (!route)
    return std::nullopt;
  HttpResponse response;
  Exchange exchange(head, response, sessions_, logins_);
  if (!lacksLogin(*route, exchange))
    return std::nullopt;
  return refusal(400, "No auth");
}

std::optional<HttpResponse> HttpServer::checkEdge(const HttpRequest& request, const Route* route) {
  if (!hostNames_.accepts(request.header("Host")))
    return refusal(421, "Unknown host name");
  if (route && route->changesState && isCrossSiteRequest(request))
    return refusal(403, "Cross-site request refused");
  return std::nullopt;
}

HttpResponse HttpServer::respond(HttpRequest& request, std::shared_ptr<BodySink> sink) {
  HttpResponse response;
  std::vector<std::string> groups;
  const Route* route = findRoute(request.method, request.path, &groups);
  if (auto refused = checkEdge(request, route)) {
    return std::move(*refused);
  } else if (route) {
    request.pathParameters = std::move(groups);
    answer(*route, request, response, sink);
  } else if (request.method == "OPTIONS") {
    response.status = 200;
    response.setHeader("Allow", allowedMethods(request.path));
  } else {
    response.status = 405;
    response.setHeader("Allow", allowedMethods(request.path));
  }
  // Every error carries a text: the route's own, else the status's.
  if (response.status >= 400 && response.body.empty() && !response.producer)
    response.setContent(statusText(response.status), std::string(PLAIN_TEXT));
  addStandardHeaders(response);
  return response;
}

void HttpServer::answer(const Route& route, HttpRequest& request, HttpResponse& response,
                        const std::shared_ptr<BodySink>& sink) {
  try {
    Exchange exchange(request, response, sessions_, logins_, sink);
    try {
      if (!sink && request.isMultipartForm()) {
        try {
          request.files = readMultipartForm(request.header("Content-Type"), request.body);
        } catch (const std::invalid_argument& e) {
          throw BadRequest(e.what());
        }
      }
      try {
        checkRequestText(request);
      } catch (const BadRequest&) {
        if (route.body == Body::LOGIN && route.guard == Guard::NONE)
          loginThrottle_.recordFailure(request.remoteAddress);
        throw;
      }
      if (lacksLogin(route, exchange))
        throw BadRequest("No auth");
      route.handler(context_, exchange);
    } catch (const HttpError& e) {
      response.status = e.status();
      response.setContent(e.what(), std::string(PLAIN_TEXT));
    }
  } catch (const std::exception& e) {
    // A failing handler ends its own request only, and never leaks the failure's text.
    spdlog::error("Exception on " + request.method + " " + request.path + ": " + e.what());
    response = HttpResponse{};
    response.status = 500;
  } catch (...) {
    spdlog::error("Exception on " + request.method + " " + request.path + ": unknown failure");
    response = HttpResponse{};
    response.status = 500;
  }
}

bool HttpServer::lacksLogin(const Route& route, Exchange& exchange) {
  if (route.guard == Guard::NONE)
    return false;
  if (route.guard == Guard::LOGIN_OR_TOKEN && !metricsToken_.empty()) {
    constexpr std::string_view BEARER = "Bearer ";
    const std::string& authorization = exchange.request().header("Authorization");
    if (authorization.starts_with(BEARER) &&
        constantTimeEquals(std::string_view(authorization).substr(BEARER.size()), metricsToken_))
      return false;
  }
  return needsLogin(context_, exchange);
}

HttpResponse HttpServer::refusal(int status, std::string_view text) {
  HttpResponse response;
  response.status = status;
  response.setContent(std::string(text), std::string(PLAIN_TEXT));
  addStandardHeaders(response);
  return response;
}

bool HttpServer::bind(const std::string& host, int port) {
  return server_.bind(host, port);
}

int HttpServer::bindToAnyPort(const std::string& host) {
  return server_.bind(host, 0) ? server_.port() : -1;
}

bool HttpServer::listen() {
  return server_.run();
}

void HttpServer::stop() noexcept {
  server_.stop();
}

}  // namespace veltrano
