#include "http/ListeningSocket.hpp"

#include <sys/socket.h>

namespace veltrano {

void configureListeningSocket(socket_t socket) noexcept {
  // SO_REUSEADDR only: SO_REUSEPORT would let two instances listen on the same port.
  int yes = 1;
  setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
}

}  // namespace veltrano
