#include "http/SocketIo.hpp"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace veltrano {
namespace {

SocketWait waitFor(socket_t socket, short events, std::chrono::milliseconds limit) noexcept {
  pollfd entry{socket, events, 0};
  int ready = ::poll(&entry, 1, static_cast<int>(limit.count()));
  if (ready == 0)
    return SocketWait::TIMED_OUT;
  if (ready < 0)
    return errno == EINTR ? SocketWait::TIMED_OUT : SocketWait::FAILED;
  // A peer that hung up is readable: the next receive reads its end.
  if ((entry.revents & (POLLERR | POLLNVAL)) != 0)
    return SocketWait::FAILED;
  return SocketWait::READY;
}

using NameGetter = int (*)(int, sockaddr*, socklen_t*);

void numericAddress(socket_t socket, NameGetter getName, std::string& ip, int& port) {
  ip.clear();
  port = -1;
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (getName(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return;
  char host[NI_MAXHOST];
  char service[NI_MAXSERV];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return;
  }
  ip = host;
  port = std::atoi(service);
}

}  // namespace

SocketWait waitUntilReadable(socket_t socket, std::chrono::milliseconds limit) noexcept {
  return waitFor(socket, POLLIN, limit);
}

SocketWait waitUntilWritable(socket_t socket, std::chrono::milliseconds limit) noexcept {
  return waitFor(socket, POLLOUT, limit);
}

long receiveSome(socket_t socket, char* buffer, std::size_t size) noexcept {
  for (;;) {
    auto n = ::recv(socket, buffer, size, 0);
    if (n >= 0 || errno != EINTR)
      return n;
  }
}

long sendSome(socket_t socket, const char* data, std::size_t size) noexcept {
  for (;;) {
    auto n = ::send(socket, data, size, MSG_NOSIGNAL);
    if (n >= 0 || errno != EINTR)
      return n;
  }
}

void peerAddressOf(socket_t socket, std::string& ip, int& port) {
  numericAddress(socket, ::getpeername, ip, port);
}

void localAddressOf(socket_t socket, std::string& ip, int& port) {
  numericAddress(socket, ::getsockname, ip, port);
}

void closeConnection(socket_t socket) noexcept {
  ::shutdown(socket, SHUT_RDWR);
  ::close(socket);
}

void widenListenBacklog(socket_t listening) noexcept {
  // Listening again on a listening socket only changes its backlog.
  ::listen(listening, SOMAXCONN);
}

}  // namespace veltrano
