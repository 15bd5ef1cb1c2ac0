#include "http/HttpServer.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <exception>
#include <string_view>

#include "foundation/TextChecks.hpp"
#include "http/AnnouncementHandlers.hpp"
#include "http/AuthHandlers.hpp"
#include "http/BackupHandlers.hpp"
#include "http/CalendarImportHandlers.hpp"
#include "http/DatabaseHandlers.hpp"
#include "http/ListeningSocket.hpp"
#include "http/ResponseHeaders.hpp"
#include "http/RoutePattern.hpp"
#include "http/StaticFiles.hpp"
#include "http/Targets.hpp"

namespace veltrano {
namespace {

constexpr std::string_view PLAIN_TEXT = "text/plain; charset=utf-8";

void setOnce(httplib::Response& response, const std::string& name, const std::string& value) {
  response.headers.erase(name);
  response.set_header(name, value);
}

void addStandardHeaders(const httplib::Request&, httplib::Response& response) {
  for (const auto& [name, value] : standardHeaders())
    setOnce(response, name, value);
}

ConnectionLimits connectionLimits(const HttpServerOptions& options) {
  return ConnectionLimits{options.keepAliveTimeout, options.headTimeout, options.readTimeout,
                          options.writeTimeout};
}

bool isChunked(const httplib::Request& request) {
  std::string encoding = request.get_header_value("Transfer-Encoding");
  std::transform(encoding.begin(), encoding.end(), encoding.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return encoding == "chunked";
}

httplib::Server::HandlerResponse refuseBody(httplib::Response& response, int status,
                                            std::string_view text) {
  response.status = status;
  response.set_header("Connection", "close");
  response.set_content(std::string(text), std::string(PLAIN_TEXT));
  return httplib::Server::HandlerResponse::Handled;
}

// Set on a request whose body was dropped unread for being too large to hold in memory.
constexpr const char* BODY_DROPPED = "X-Veltrano-Body-Dropped";

// The library reads a DELETE's body only when it has a length.
bool takesBody(const httplib::Request& request) {
  return request.method == "POST" || request.method == "PUT" || request.method == "PATCH";
}

// Only the restore route writes its body to disk as it arrives; every other body is held in
// memory and must stay within memoryLimit. A longer one is read and dropped here, as the
// library would, so that the client, which sends it whole before it reads the answer, gets
// its 413.
void dropOversizedBody(httplib::Request& request, httplib::Stream& stream,
                       std::size_t memoryLimit) {
  request.headers.erase(BODY_DROPPED);
  if (!takesBody(request) || request.path == RESTORE_PATH || !request.has_header("Content-Length"))
    return;
  std::string length = request.get_header_value("Content-Length");
  std::uint64_t left = 0;
  auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), left);
  // The library answers a malformed length itself.
  if (error != std::errc() || end != length.data() + length.size() || left <= memoryLimit)
    return;
  std::array<char, 64 * 1024> buffer;
  while (left > 0) {
    auto got = stream.read(buffer.data(),
                           static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size())));
    if (got <= 0)
      break;
    left -= static_cast<std::uint64_t>(got);
  }
  request.set_header(BODY_DROPPED, "1");
}

// The library would read a body without a length until the client closes the connection,
// keeping a worker for as long as the client likes.
httplib::Server::HandlerResponse checkBodyLength(const httplib::Request& request,
                                                 httplib::Response& response) {
  if (request.has_header(BODY_DROPPED)) {
    response.status = 413;
    response.set_content("Payload Too Large", std::string(PLAIN_TEXT));
    return httplib::Server::HandlerResponse::Handled;
  }
  if (!takesBody(request) || request.has_header("Content-Length"))
    return httplib::Server::HandlerResponse::Unhandled;
  if (!isChunked(request))
    return refuseBody(response, 411, "The request has a body but no Content-Length header");
  // A body without a length could not be dropped unread once too large.
  if (request.path != RESTORE_PATH)
    return refuseBody(response, 411, "Only /restore takes a body without a Content-Length header");
  return httplib::Server::HandlerResponse::Unhandled;
}

// Refuses, before anything is stored, text that would later break a JSON dump and bodies
// nested deep enough to exhaust the stack when a handler copies them.
void checkRequestText(const httplib::Request& request) {
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
  if (!request.is_multipart_form_data() && !jsonNestingWithin(request.body, MAX_JSON_DEPTH)) {
    throw BadRequest("The request body nests deeper than " + std::to_string(MAX_JSON_DEPTH) +
                     " levels");
  }
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

}  // namespace

HttpServer::HttpServer(HttpContext context, HttpServerOptions options)
    : context_(context), server_(connectionLimits(options), options.connectionsPerAddress) {
  std::size_t threads = options.threadCount;
  server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server_.set_tcp_nodelay(true);
  server_.set_socket_options(configureListeningSocket);
  server_.set_payload_max_length(std::max(options.payloadMaxLength, options.restoreMaxLength));
  // Only what the answers' Keep-Alive header announces; the connection limits enforce it.
  server_.set_keep_alive_timeout(options.keepAliveTimeout.count());
  server_.set_keep_alive_max_count(100000);

  server_.onRequestHead(
      [memoryLimit = options.payloadMaxLength](httplib::Request& request, httplib::Stream& stream) {
        dropOversizedBody(request, stream, memoryLimit);
      });
  server_.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    if (request.path.size() > MAX_PATH_LENGTH) {
      response.status = 414;
      return httplib::Server::HandlerResponse::Handled;
    }
    return checkBodyLength(request, response);
  });
  server_.set_post_routing_handler(addStandardHeaders);
  // Keeps the body a route set (a BadRequest text); fills in one only where there is none.
  server_.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty() || response.content_provider_) {
          return httplib::Server::HandlerResponse::Unhandled;
        }
        response.set_content(statusText(response.status), std::string(PLAIN_TEXT));
        return httplib::Server::HandlerResponse::Handled;
      }));
  // A failing handler ends its own request only, and never leaks the failure's text.
  server_.set_exception_handler(
      [](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
        std::string what = "unknown failure";
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        spdlog::error("Exception on " + request.method + " " + request.path + ": " + what);
        response.status = 500;
        response.headers.clear();
        response.set_content(statusText(500), std::string(PLAIN_TEXT));
      });
  registerRoutes();
}

HttpServer::~HttpServer() {
  stop();
}

void HttpServer::registerRoutes() {
  get("/whoami", Guard::NONE, endpoint_whoami);
  post("/auth/login", Guard::NONE, [this](HttpContext& context, Exchange& exchange) {
    auth_login(context, exchange, loginThrottle_);
  });
  get("/auth/logout", Guard::LOGIN, auth_logout);
  post("/auth/chpasswd", Guard::LOGIN, [this](HttpContext& context, Exchange& exchange) {
    auth_chpasswd(context, exchange, sessions_);
  });
  get("/api/get/([^/]+)", Guard::LOGIN, get_endpoint);
  get("/api/trigger/([^/]+)/([^/]+)", Guard::LOGIN, trigger_endpoint);
  get("/db", Guard::LOGIN, get_db);
  post("/upload", Guard::LOGIN, upload_file);
  get("/get_signal_file/([^/]+)", Guard::LOGIN, get_signal_file);
  get("/db/timetables", Guard::LOGIN, get_timetables);
  post("/db/timetables/create", Guard::LOGIN, timetables_create);
  post("/db/timetables/update/([^/]+)", Guard::LOGIN, timetables_update);
  post("/db/settings/update", Guard::LOGIN, update_settings);
  post("/db/calendar/preview-ics", Guard::LOGIN, calendar_preview_ics);
  post("/db/calendar/import", Guard::LOGIN, calendar_import);
  post("/db/announcements/speak", Guard::LOGIN, announcements_speak);
  post("/db/announcements/preview", Guard::LOGIN, announcements_preview);
  get("/backup", Guard::LOGIN, get_backup);
  get("/backup/snapshots", Guard::LOGIN, get_snapshots);
  postStreaming(
      RESTORE_PATH, Guard::LOGIN,
      [this](HttpContext& context, Exchange& exchange, const httplib::ContentReader& body) {
        restore_upload(context, exchange, body, sessions_);
      });
  post("/restore/snapshot/([^/]+)", Guard::LOGIN, [this](HttpContext& context, Exchange& exchange) {
    restore_snapshot(context, exchange, sessions_);
  });
  // Last: every specific route wins over the catch-all.
  get("/(.*)", Guard::NONE, [](HttpContext& context, Exchange& exchange) {
    serve_static(context, exchange, exchange.pathParameter(1));
  });

  auto notAllowed = [this](const httplib::Request& request, httplib::Response& response) {
    response.status = 405;
    response.set_header("Allow", allowedMethods(request.path));
  };
  server_.Post(".*", notAllowed);
  server_.Put(".*", notAllowed);
  server_.Patch(".*", notAllowed);
  server_.Delete(".*", notAllowed);
  server_.Options(".*", [this](const httplib::Request& request, httplib::Response& response) {
    response.status = 200;
    response.set_header("Allow", allowedMethods(request.path));
  });
}

void HttpServer::get(const std::string& pattern, Guard guard, Handler handler) {
  server_.Get(pattern, [this, guard, handler = std::move(handler)](const httplib::Request& request,
                                                                   httplib::Response& response) {
    answer(request, response, guard, [&](Exchange& exchange) { handler(context_, exchange); });
  });
}

void HttpServer::post(const std::string& pattern, Guard guard, Handler handler) {
  postPatterns_.emplace_back(pattern);
  server_.Post(pattern, [this, guard, handler = std::move(handler)](const httplib::Request& request,
                                                                    httplib::Response& response) {
    answer(request, response, guard, [&](Exchange& exchange) { handler(context_, exchange); });
  });
}

void HttpServer::postStreaming(const std::string& pattern, Guard guard, StreamingHandler handler) {
  postPatterns_.emplace_back(pattern);
  server_.Post(pattern, [this, guard, handler = std::move(handler)](
                            const httplib::Request& request, httplib::Response& response,
                            const httplib::ContentReader& body) {
    answer(request, response, guard,
           [&](Exchange& exchange) { handler(context_, exchange, body); });
    // A refused request's body may be partly unread: the connection cannot carry another.
    if (response.status >= 400 && !response.has_header("Connection"))
      response.set_header("Connection", "close");
  });
}

void HttpServer::answer(const httplib::Request& request, httplib::Response& response, Guard guard,
                        const std::function<void(Exchange&)>& handler) {
  Exchange exchange(request, response, sessions_);
  try {
    checkRequestText(request);
    if (guard == Guard::LOGIN && needsLogin(context_, exchange))
      throw BadRequest("No auth");
    handler(exchange);
  } catch (const HttpError& e) {
    response.status = e.status();
    response.set_content(e.what(), std::string(PLAIN_TEXT));
  }
}

std::string HttpServer::allowedMethods(const std::string& path) const {
  for (const auto& pattern : postPatterns_) {
    if (matchesRoute(pattern, path))
      return "GET, HEAD, OPTIONS, POST";
  }
  return "GET, HEAD, OPTIONS";
}

bool HttpServer::bind(const std::string& host, int port) {
  if (!server_.bind_to_port(host, port))
    return false;
  server_.widenBacklog();
  return true;
}

int HttpServer::bindToAnyPort(const std::string& host) {
  int port = server_.bind_to_any_port(host);
  server_.widenBacklog();
  return port;
}

bool HttpServer::listen() {
  return server_.listen_after_bind();
}

void HttpServer::stop() noexcept {
  server_.stop();
}

}  // namespace veltrano
