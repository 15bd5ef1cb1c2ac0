#include "http/ListeningSocket.hpp"

namespace veltrano {

void configureListeningSocket(boost::asio::ip::tcp::acceptor& acceptor) noexcept {
  // SO_REUSEADDR only: SO_REUSEPORT would let two instances listen on the same port.
  boost::system::error_code ignored;
  acceptor.set_option(boost::asio::socket_base::reuse_address(true), ignored);
}

}  // namespace veltrano
