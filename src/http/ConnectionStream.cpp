#include "http/ConnectionStream.hpp"

#include <algorithm>
#include <cstring>

#include "http/SocketIo.hpp"

namespace veltrano {
namespace {

// Waits are cut into slices this long, so that a stopping server is noticed soon.
constexpr std::chrono::milliseconds WAIT_SLICE{100};

}  // namespace

ConnectionStream::ConnectionStream(socket_t socket, ConnectionLimits limits,
                                   std::function<bool()> stopping)
    : socket_(socket), limits_(limits), stopping_(std::move(stopping)) {}

bool ConnectionStream::awaitRequest() {
  const bool pipelined = bufferBegin_ != bufferEnd_;
  if (!pipelined && !waitReadable(std::chrono::steady_clock::now() + limits_.idle))
    return false;
  inHead_ = true;
  headEndMatched_ = 0;
  headDeadline_ = std::chrono::steady_clock::now() + limits_.head;
  return true;
}

bool ConnectionStream::waitReadable(TimePoint deadline) const {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || stopping_())
      return false;
    switch (waitUntilReadable(socket_, std::min(left, WAIT_SLICE))) {
      case SocketWait::READY:
        return true;
      case SocketWait::FAILED:
        return false;
      case SocketWait::TIMED_OUT:
        break;
    }
  }
}

bool ConnectionStream::is_readable() const {
  return bufferBegin_ != bufferEnd_ ||
         waitReadable(std::chrono::steady_clock::now() + limits_.bodySilence);
}

bool ConnectionStream::is_writable() const {
  return waitUntilWritable(socket_, limits_.write) == SocketWait::READY;
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (bufferBegin_ == bufferEnd_) {
    TimePoint deadline =
        inHead_ ? headDeadline_ : std::chrono::steady_clock::now() + limits_.bodySilence;
    if (!waitReadable(deadline))
      return -1;
    if (!inHead_ && size >= buffer_.size())
      return receiveSome(socket_, ptr, size);
    long received = receiveSome(socket_, buffer_.data(), buffer_.size());
    if (received <= 0)
      return received;
    bufferBegin_ = 0;
    bufferEnd_ = static_cast<std::size_t>(received);
  }
  std::size_t n = std::min(size, bufferEnd_ - bufferBegin_);
  std::memcpy(ptr, buffer_.data() + bufferBegin_, n);
  bufferBegin_ += n;
  if (inHead_)
    followHead(ptr, n);
  return static_cast<ssize_t>(n);
}

void ConnectionStream::followHead(const char* data, std::size_t size) noexcept {
  static constexpr char HEAD_END[] = "\r\n\r\n";
  for (std::size_t i = 0; i < size && inHead_; ++i) {
    if (data[i] == HEAD_END[headEndMatched_]) {
      inHead_ = ++headEndMatched_ < 4;
    } else {
      headEndMatched_ = data[i] == '\r' ? 1 : 0;
    }
  }
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  if (!is_writable())
    return -1;
  return sendSome(socket_, ptr, size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  peerAddressOf(socket_, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  localAddressOf(socket_, ip, port);
}

}  // namespace veltrano
