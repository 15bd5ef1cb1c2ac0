#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>

namespace veltrano::test {

// A bare TCP connection to a loopback server from a chosen loopback source address
// (127.0.0.2 is another client to the server), for what httplib's client cannot play:
// other addresses, silent and half-sent requests.
class RawConnection {
 public:
  RawConnection(const std::string& from, int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    connected_ = fd_ >= 0 &&
                 ::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof(source)) == 0 &&
                 ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof(server)) == 0;
  }
  ~RawConnection() {
    if (fd_ >= 0) {
      // Closed with a reset: a closed client's port would otherwise stay taken for a minute,
      // and a player started by a later test could find its chosen port in use.
      linger abort{1, 0};
      ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      ::close(fd_);
    }
  }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const noexcept { return connected_; }

  bool send(std::string_view text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }

  // What arrives until the server closes the connection or the time is up.
  std::string receiveUntilClosed(std::chrono::milliseconds limit) {
    return receiveUntil({}, limit);
  }

  // What arrives until it contains text (never, when text is empty), the server closes the
  // connection or the time is up. Reads go on from where an earlier call stopped.
  std::string receiveUntil(std::string_view text, std::chrono::milliseconds limit) {
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd readable{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
        return received;
      char buffer[4096];
      auto n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0)
        return received;
      received.append(buffer, static_cast<std::size_t>(n));
      if (!text.empty() && received.find(text) != std::string::npos)
        return received;
    }
  }

 private:
  int fd_;
  bool connected_ = false;
};

}  // namespace veltrano::test
