#include "app/PortProbe.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

namespace veltrano {

bool isPortUsed(int port) noexcept {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
    return false;
  bool used = false;
  SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd != INVALID_SOCKET) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    used = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::closesocket(fd);
  }
  WSACleanup();
  return used;
}

}  // namespace veltrano
