#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/EventServer.hpp"
#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"
#include "http/LiveEvents.hpp"
#include "http/LoginThrottle.hpp"
#include "http/RequestOrigin.hpp"
#include "http/Session.hpp"
#include "http/SessionRegistry.hpp"

namespace veltrano {

// The HTTP application: the route table with each route's body limit, the login guard, the
// session cookie, the no-cache headers on every answer, and the event-driven server that runs
// it.
class HttpServer final : private RequestHandler {
 public:
  explicit HttpServer(HttpContext context, ServerLimits limits = {}, LiveEventTiming live = {});
  ~HttpServer() override;
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Takes the port now (false when it cannot), so start-up learns at once that it is taken.
  bool bind(const std::string& host, int port);
  // Binds a free port chosen by the system and returns it (-1 on failure).
  int bindToAnyPort(const std::string& host);
  // Serves on the calling thread until stop(); false when not bound.
  bool listen();
  // Makes listen() return. Any thread.
  void stop() noexcept;
  bool isRunning() const noexcept { return server_.isRunning(); }

  // Names besides the machine's own under which browsers may reach the player.
  void allowHostNames(const std::vector<std::string>& names) { hostNames_.allow(names); }

  // A monitoring system that sends "Authorization: Bearer <token>" may read /metrics without
  // a login; empty (the default) lets only logged-in browsers read it.
  void setMetricsToken(std::string token) { metricsToken_ = std::move(token); }

  // How often GET /api/events compares the state and sends its heartbeat.
  void setLiveEventTiming(LiveEventTiming timing) { liveEvents_.setTiming(timing); }

  // Sessions signed under the previous key stop being valid.
  void setSigningKey(std::string key) { sessions_.setKey(std::move(key)); }

 private:
  // LOGIN_OR_TOKEN also admits the metrics token.
  enum class Guard { NONE, LOGIN, LOGIN_OR_TOKEN };
  // What a route's body may be.
  enum class Body { NONE, LOGIN, JSON, UPLOAD, STREAMED };
  using Handler = std::function<void(HttpContext&, Exchange&)>;
  struct Route {
    std::string method;
    std::string pattern;
    Guard guard;
    Body body;
    // Refused when a browser sends it from another site.
    bool changesState;
    bool slow;
    Handler handler;
  };

  void registerRoutes();
  void get(std::string pattern, Guard guard, Handler handler, bool slow = false,
           bool changesState = false);
  void post(std::string pattern, Guard guard, Body body, Handler handler, bool slow = false);
  // The route for the method and path, and the path's groups; nullptr when none matches.
  const Route* findRoute(const std::string& method, const std::string& path,
                         std::vector<std::string>* groups = nullptr) const;
  std::string allowedMethods(const std::string& path) const;

  BodyPlan planBody(const HttpRequest& head) override;
  std::optional<HttpResponse> checkHead(HttpRequest& head) override;
  HttpResponse respond(HttpRequest& request, std::shared_ptr<BodySink> sink) override;
  HttpResponse refusal(int status, std::string_view text) override;
  // The checks before any route runs: the player's own host name, and no state changed from
  // another site.
  std::optional<HttpResponse> checkEdge(const HttpRequest& request, const Route* route);
  // The route is guarded and the request carries neither a login nor a token it admits.
  bool lacksLogin(const Route& route, Exchange& exchange);
  // Runs one route: the guard, the handler, and an HttpError turned into its answer.
  void answer(const Route& route, HttpRequest& request, HttpResponse& response,
              const std::shared_ptr<BodySink>& sink);

  HttpContext context_;
  SessionSigner sessions_;
  SessionRegistry logins_;
  LoginThrottle loginThrottle_;
  HostNames hostNames_;
  std::string metricsToken_;   // set before the server serves
  std::vector<Route> routes_;  // written only while registering routes
  EventServer server_;
  // After the server: its streams go before the connections they write to.
  LiveEvents liveEvents_;
};

}  // namespace veltrano
