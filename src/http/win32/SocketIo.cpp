#include "http/SocketIo.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstdlib>

namespace veltrano {
namespace {

SocketWait waitFor(socket_t socket, SHORT events, std::chrono::milliseconds limit) noexcept {
  WSAPOLLFD entry{socket, events, 0};
  int ready = ::WSAPoll(&entry, 1, static_cast<INT>(limit.count()));
  if (ready == 0)
    return SocketWait::TIMED_OUT;
  if (ready < 0 || (entry.revents & (POLLERR | POLLNVAL)) != 0)
    return SocketWait::FAILED;
  return SocketWait::READY;
}

int clampToInt(std::size_t size) noexcept {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

using NameGetter = int(WSAAPI*)(SOCKET, sockaddr*, int*);

void numericAddress(socket_t socket, NameGetter getName, std::string& ip, int& port) {
  ip.clear();
  port = -1;
  sockaddr_storage address{};
  int length = sizeof(address);
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
  return waitFor(socket, POLLRDNORM, limit);
}

SocketWait waitUntilWritable(socket_t socket, std::chrono::milliseconds limit) noexcept {
  return waitFor(socket, POLLWRNORM, limit);
}

long receiveSome(socket_t socket, char* buffer, std::size_t size) noexcept {
  return ::recv(socket, buffer, clampToInt(size), 0);
}

long sendSome(socket_t socket, const char* data, std::size_t size) noexcept {
  return ::send(socket, data, clampToInt(size), 0);
}

void peerAddressOf(socket_t socket, std::string& ip, int& port) {
  numericAddress(socket, ::getpeername, ip, port);
}

void localAddressOf(socket_t socket, std::string& ip, int& port) {
  numericAddress(socket, ::getsockname, ip, port);
}

void closeConnection(socket_t socket) noexcept {
  ::shutdown(socket, SD_BOTH);
  ::closesocket(socket);
}

void widenListenBacklog(socket_t listening) noexcept {
  // Windows keeps the first backlog; this does no harm there.
  ::listen(listening, SOMAXCONN);
}

}  // namespace veltrano
