#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "http/BackupHandlers.hpp"
#include "http/Exchange.hpp"
#include "http/GuardedServer.hpp"
#include "http/HttpContext.hpp"
#include "http/LoginThrottle.hpp"
#include "http/Session.hpp"
#include "http/UploadHandlers.hpp"

namespace veltrano {

struct HttpServerOptions {
  // Connections are served concurrently, so an idle keep-alive connection or a slow client
  // never blocks another; the store lock serialises the handlers' work on the records.
  std::size_t threadCount = 48;
  // Half the workers at most for one client address: a client holding many slow connections
  // leaves the rest to everybody else.
  std::size_t connectionsPerAddress = 24;
  std::size_t payloadMaxLength = MAX_UPLOAD_BYTES;
  // The restore route's body goes to disk as it arrives, so it may be larger.
  std::size_t restoreMaxLength = MAX_RESTORE_UPLOAD_BYTES;
  // How long an open connection may wait for its next request.
  std::chrono::seconds keepAliveTimeout{1};
  // From a request's first byte to the end of its head.
  std::chrono::seconds headTimeout{5};
  // The longest silence within a request's body.
  std::chrono::seconds readTimeout{5};
  std::chrono::seconds writeTimeout{10};
};

// The HTTP application: the route table, the login guard, the session cookie, the no-cache
// headers on every answer, and the server that runs it.
class HttpServer {
 public:
  explicit HttpServer(HttpContext context, HttpServerOptions options = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Takes the port now (false when it cannot), so start-up learns at once that it is taken.
  bool bind(const std::string& host, int port);
  // Binds a free port chosen by the system and returns it (-1 on failure).
  int bindToAnyPort(const std::string& host);
  // Serves on the calling thread until stop(); false when not bound.
  bool listen();
  // Makes listen() return once the requests in progress are answered. Any thread.
  void stop() noexcept;
  bool isRunning() const noexcept { return server_.is_running(); }

  // Sessions signed under the previous key stop being valid.
  void setSigningKey(std::string key) { sessions_.setKey(std::move(key)); }

 private:
  enum class Guard { NONE, LOGIN };
  using Handler = std::function<void(HttpContext&, Exchange&)>;
  // A route that reads its body itself, as it arrives.
  using StreamingHandler =
      std::function<void(HttpContext&, Exchange&, const httplib::ContentReader&)>;

  void registerRoutes();
  void get(const std::string& pattern, Guard guard, Handler handler);
  void post(const std::string& pattern, Guard guard, Handler handler);
  // The guard runs before any of the body is read.
  void postStreaming(const std::string& pattern, Guard guard, StreamingHandler handler);
  // Runs one route: the guard, the handler, and an HttpError turned into its answer.
  void answer(const httplib::Request& request, httplib::Response& response, Guard guard,
              const std::function<void(Exchange&)>& handler);
  std::string allowedMethods(const std::string& path) const;

  HttpContext context_;
  SessionSigner sessions_;
  LoginThrottle loginThrottle_;
  std::vector<std::string> postPatterns_;  // written only while registering routes
  GuardedServer server_;
};

}  // namespace veltrano
