#include "http/ListeningSocket.hpp"

#include <winsock2.h>

namespace veltrano {

void configureListeningSocket(boost::asio::ip::tcp::acceptor& acceptor) noexcept {
  // On Windows SO_REUSEADDR would let another program take over the port; this refuses that.
  using ExclusiveAddressUse =
      boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
  boost::system::error_code ignored;
  acceptor.set_option(ExclusiveAddressUse(true), ignored);
}

}  // namespace veltrano
