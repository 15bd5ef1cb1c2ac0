#pragma once

#include <httplib.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "http/ConnectionStream.hpp"

namespace veltrano {

// The HTTP library's server with connection handling of our own, so that slow or silent
// clients cannot hold every worker: each connection lives under the time limits of
// ConnectionLimits, and one client address may hold at most a given number of connections
// at once; further ones are answered 503 and closed at once.
class GuardedServer final : public httplib::Server {
 public:
  GuardedServer(ConnectionLimits limits, std::size_t connectionsPerAddress);

  // Call after binding: room in the system's queue for a burst of new connections.
  void widenBacklog() noexcept;

  // Sees each request's head before it is routed, with the connection it came on (to read
  // and drop a body that is refused). Set before listening.
  using HeadInspector = std::function<void(httplib::Request&, httplib::Stream&)>;
  void onRequestHead(HeadInspector inspector) { inspectHead_ = std::move(inspector); }

 private:
  bool process_and_close_socket(socket_t socket) override;
  // False when the address already holds its share of connections.
  bool openConnection(const std::string& address);
  void closeConnectionOf(const std::string& address) noexcept;

  HeadInspector inspectHead_;
  const ConnectionLimits limits_;
  const std::size_t connectionsPerAddress_;
  std::mutex mutex_;
  // Open connections per client address; an address leaves the map with its last one.
  std::unordered_map<std::string, std::size_t> openConnections_;  // protected by mutex_
};

}  // namespace veltrano
