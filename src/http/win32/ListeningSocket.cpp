#include "http/ListeningSocket.hpp"

#include <winsock2.h>

namespace veltrano {

void configureListeningSocket(socket_t socket) noexcept {
  // On Windows SO_REUSEADDR would let another program take over the port; this refuses that.
  BOOL yes = TRUE;
  setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
             sizeof(yes));
}

}  // namespace veltrano
