#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "http/HttpMessage.hpp"

namespace veltrano {

// What one client may cost the server. A connection costs memory, never a thread: the event
// loop owns every socket, and only complete requests go to the workers.
struct ServerLimits {
  std::size_t connections = 4096;
  std::size_t connectionsPerAddress = 32;
  // For the first byte of a request on an open connection.
  std::chrono::milliseconds idle{1000};
  // From a request's first byte until the end of its head, however slowly it trickles in.
  std::chrono::milliseconds head{5000};
  // A body has this long, then must keep arriving at bodyBytesPerSecond on average.
  std::chrono::milliseconds bodyGrace{10000};
  std::size_t bodyBytesPerSecond = 16 * 1024;
  // The longest wait for the client to take more of an answer.
  std::chrono::milliseconds write{10000};
  std::size_t headBytes = 16 * 1024;
  // Workers for the quick handlers, and apart from them for the ones that may take long, so
  // an upload or a restore never delays another client's answer.
  std::size_t workers = 4;
  std::size_t slowWorkers = 4;
};

// How a request's body is taken, decided from its head on the event loop (no locks).
struct BodyPlan {
  // Answered at once, before any of the body is read.
  std::optional<std::pair<int, std::string>> refusal;
  // A longer body is answered 413 as soon as that is known.
  std::uint64_t limit = 0;
  // The head goes to RequestHandler::checkHead first, so a refused request costs no body.
  bool checkHeadFirst = false;
  bool slow = false;
  // Set for a route that takes its body as it arrives.
  std::function<std::shared_ptr<BodySink>()> sink;
};

// The application above the connections: routes, guards and handlers.
class RequestHandler {
 public:
  virtual ~RequestHandler() = default;
  virtual BodyPlan planBody(const HttpRequest& head) = 0;
  // On a worker: an answer here refuses the request before its body is read.
  virtual std::optional<HttpResponse> checkHead(HttpRequest& head) = 0;
  // On a worker: the answer to a complete request; never throws.
  virtual HttpResponse respond(HttpRequest& request, std::shared_ptr<BodySink> sink) = 0;
  // An answer of the server's own (a limit hit, a malformed request).
  virtual HttpResponse refusal(int status, std::string_view text) = 0;
};

// The event-driven HTTP/1.1 server: one thread runs the event loop (the caller of run()),
// the handlers run on worker pools.
class EventServer {
 public:
  EventServer(RequestHandler& handler, ServerLimits limits);
  ~EventServer();
  EventServer(const EventServer&) = delete;
  EventServer& operator=(const EventServer&) = delete;

  // Takes the port now; false when it cannot. Port 0 takes a free one (see port()).
  bool bind(const std::string& host, int port);
  int port() const noexcept;
  // Serves on the calling thread until stop(); false when not bound.
  bool run();
  // Closes every connection and makes run() return. Any thread, also before run().
  void stop() noexcept;
  bool isRunning() const noexcept;

 private:
  std::unique_ptr<class ServerCore> impl_;
};

}  // namespace veltrano
