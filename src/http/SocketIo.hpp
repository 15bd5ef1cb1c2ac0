#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace veltrano {

// The few socket calls the server's own connection handling needs, one implementation per
// platform.

enum class SocketWait { READY, TIMED_OUT, FAILED };

// Waits at most limit until the socket has data (or the peer has closed).
SocketWait waitUntilReadable(socket_t socket, std::chrono::milliseconds limit) noexcept;
// Waits at most limit until the socket can take more data.
SocketWait waitUntilWritable(socket_t socket, std::chrono::milliseconds limit) noexcept;
// One receive: the count of bytes, 0 when the peer has closed, negative on failure.
long receiveSome(socket_t socket, char* buffer, std::size_t size) noexcept;
// One send that never raises a signal: the count of bytes taken, negative on failure.
long sendSome(socket_t socket, const char* data, std::size_t size) noexcept;

// The numeric address and port of the far end, or of this end; "" and -1 when unknown.
void peerAddressOf(socket_t socket, std::string& ip, int& port);
void localAddressOf(socket_t socket, std::string& ip, int& port);

// Ends the connection in both directions and releases the socket.
void closeConnection(socket_t socket) noexcept;

// Lets the system queue a burst of new connections while the server accepts them; the
// library listens with a backlog of 5, so a burst would have further clients wait for a
// retransmission.
void widenListenBacklog(socket_t listening) noexcept;

}  // namespace veltrano
