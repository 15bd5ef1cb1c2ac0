#pragma once

#include <httplib.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace veltrano {

// How long one client connection may keep a server worker waiting.
struct ConnectionLimits {
  // For the first byte of the next request on an open connection.
  std::chrono::milliseconds idle{1000};
  // From a request's first byte until the end of its head, however slowly it trickles in.
  std::chrono::milliseconds head{5000};
  // The longest silence within a request's body.
  std::chrono::milliseconds bodySilence{5000};
  // The longest wait for the client to take more of the answer.
  std::chrono::milliseconds write{10000};
};

// One client connection as the HTTP library reads and writes it, with the time limits above
// enforced on every read: a client that sends a request slowly or not at all gives the
// worker back in a few seconds. The library reads a request's head one byte at a time; the
// stream watches for the blank line that ends it.
class ConnectionStream final : public httplib::Stream {
 public:
  // stopping is asked while waiting; when it answers true every wait ends at once.
  ConnectionStream(socket_t socket, ConnectionLimits limits, std::function<bool()> stopping);

  // Waits for the next request to begin; false when the client stayed silent or left, or
  // the server stops.
  bool awaitRequest();

  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return socket_; }

 private:
  using TimePoint = std::chrono::steady_clock::time_point;

  // True once the socket has data (or the client has closed) before the deadline.
  bool waitReadable(TimePoint deadline) const;
  // Follows the bytes handed out so far for the blank line that ends the head.
  void followHead(const char* data, std::size_t size) noexcept;

  socket_t socket_;
  ConnectionLimits limits_;
  std::function<bool()> stopping_;
  std::array<char, 4096> buffer_{};
  std::size_t bufferBegin_ = 0;
  std::size_t bufferEnd_ = 0;
  bool inHead_ = false;
  TimePoint headDeadline_;
  int headEndMatched_ = 0;  // characters of "\r\n\r\n" seen in a row
};

}  // namespace veltrano
