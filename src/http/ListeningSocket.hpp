#pragma once

#include <boost/asio/ip/tcp.hpp>

namespace veltrano {

// Options of the server's listening socket, set before it binds: a restarted program may take
// its port back at once, but no second program may listen on a port that one is using (which
// would split the requests between two instances and defeat the single-instance check).
void configureListeningSocket(boost::asio::ip::tcp::acceptor& acceptor) noexcept;

}  // namespace veltrano
