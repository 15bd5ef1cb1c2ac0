#include "app/PortProbe.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace veltrano {

bool isPortUsed(int port) noexcept {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0)
    return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::close(fd);
  return result == 0;
}

}  // namespace veltrano
