#include "http/GuardedServer.hpp"

#include <spdlog/spdlog.h>

#include <exception>
#include <string_view>

#include "http/ResponseHeaders.hpp"
#include "http/SocketIo.hpp"

namespace veltrano {
namespace {

std::string tooManyConnectionsAnswer() {
  constexpr std::string_view BODY = "Too many connections from this computer. Try again soon.";
  std::string answer = "HTTP/1.1 503 Service Unavailable\r\n";
  for (const auto& [name, value] : standardHeaders())
    answer += name + ": " + value + "\r\n";
  answer += "Retry-After: 5\r\nConnection: close\r\nContent-Type: text/plain; charset=utf-8\r\n";
  answer += "Content-Length: " + std::to_string(BODY.size()) + "\r\n\r\n";
  answer += BODY;
  return answer;
}

}  // namespace

GuardedServer::GuardedServer(ConnectionLimits limits, std::size_t connectionsPerAddress)
    : limits_(limits), connectionsPerAddress_(connectionsPerAddress) {}

void GuardedServer::widenBacklog() noexcept {
  if (svr_sock_ != INVALID_SOCKET)
    widenListenBacklog(svr_sock_);
}

bool GuardedServer::process_and_close_socket(socket_t socket) {
  ConnectionStream stream(socket, limits_, [this] { return svr_sock_ == INVALID_SOCKET; });
  std::string address;
  int port = -1;
  stream.get_remote_ip_and_port(address, port);
  if (!openConnection(address)) {
    // Best effort, without waiting: the client is told why before the connection closes.
    static const std::string ANSWER = tooManyConnectionsAnswer();
    sendSome(socket, ANSWER.data(), ANSWER.size());
    closeConnection(socket);
    return false;
  }

  bool served = false;
  try {
    for (std::size_t left = keep_alive_max_count_; left > 0 && stream.awaitRequest(); --left) {
      bool clientClosed = false;
      served = process_request(stream, /*close_connection=*/left == 1, clientClosed,
                               [&](httplib::Request& request) {
                                 if (inspectHead_)
                                   inspectHead_(request, stream);
                               });
      if (!served || clientClosed)
        break;
    }
  } catch (const std::exception& e) {
    // The library answers a handler's failure itself; anything else ends this connection only.
    spdlog::error("HTTP connection error: {}", e.what());
    served = false;
  } catch (...) {
    spdlog::error("HTTP connection error: unknown failure");
    served = false;
  }
  closeConnectionOf(address);
  closeConnection(socket);
  return served;
}

bool GuardedServer::openConnection(const std::string& address) {
  std::lock_guard lock(mutex_);
  auto found = openConnections_.find(address);
  if (found == openConnections_.end()) {
    openConnections_.emplace(address, 1);
    return true;
  }
  if (found->second >= connectionsPerAddress_)
    return false;
  ++found->second;
  return true;
}

void GuardedServer::closeConnectionOf(const std::string& address) noexcept {
  std::lock_guard lock(mutex_);
  auto found = openConnections_.find(address);
  if (found != openConnections_.end() && --found->second == 0)
    openConnections_.erase(found);
}

}  // namespace veltrano
