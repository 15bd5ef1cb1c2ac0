#include "http/EventServer.hpp"

#include <httplib.h>
#include <spdlog/spdlog.h>

#include <array>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "http/ListeningSocket.hpp"

namespace veltrano {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// Room for a request's head and what follows it in the same reads.
constexpr std::size_t READ_BUFFER_EXTRA = 64 * 1024;
constexpr std::size_t BODY_CHUNK = 16 * 1024;
// How long a closing connection's unread input is drained, so the client reads its answer
// instead of a reset.
constexpr std::chrono::seconds LINGER{2};
// An event stream whose browser reads nothing is closed rather than queued for without end.
constexpr std::size_t MAX_QUEUED_EVENTS = 256;
constexpr std::size_t PRODUCED_PIECE = 64 * 1024;

bool isLoadError(const beast::error_code& error) {
  return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
         error == asio::error::no_memory;
}

}  // namespace

class Connection;

class ServerCore {
 public:
  ServerCore(RequestHandler& handler, ServerLimits limits)
      : handler_(handler),
        limits_(limits),
        acceptor_(io_),
        quickWorkers_(limits.workers),
        slowWorkers_(limits.slowWorkers),
        acceptRetry_(io_) {}

  bool bind(const std::string& host, int port);
  bool run();
  void stop() noexcept;

  // Open connections per client address; touched from the loop and from the last owner of
  // a connection, which may be a worker. Declared first: connections outlive the loop.
  std::mutex countsMutex_;
  std::unordered_map<std::string, std::size_t> perAddress_;  // protected by countsMutex_
  std::size_t total_ = 0;                                    // protected by countsMutex_

  RequestHandler& handler_;
  const ServerLimits limits_;
  asio::io_context io_;
  tcp::acceptor acceptor_;
  asio::thread_pool quickWorkers_;
  asio::thread_pool slowWorkers_;
  asio::steady_timer acceptRetry_;
  std::atomic<int> port_{-1};
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};

  // Every open connection, for stop(); touched on the loop only.
  std::unordered_set<std::shared_ptr<Connection>> open_;

  void accept();
  // False when the address or the server holds its share already.
  bool admitConnection(const std::string& address);
  void releaseConnection(const std::string& address) noexcept;
};

// One client connection: its buffer, its parser, its deadline. Lives on the event loop; its
// handlers' work happens on the workers and comes back through the loop.
class Connection : public std::enable_shared_from_this<Connection>, public EventChannel {
 public:
  Connection(ServerCore& server, tcp::socket socket, std::string address)
      : server_(server),
        stream_(std::move(socket)),
        buffer_(server.limits_.headBytes + READ_BUFFER_EXTRA),
        address_(std::move(address)) {}

  ~Connection() override { server_.releaseConnection(address_); }

  void start() { awaitRequest(); }
  // Ends the connection at once (the server stops). On the loop.
  void abort() noexcept {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  // Refuses the connection with an answer (too many from one address) and closes it.
  void refuse(HttpResponse response) {
    keepAlive_ = false;
    isHead_ = false;
    writeResponse(std::move(response));
  }

  bool send(std::string text) override;
  bool isOpen() override {
    std::lock_guard lock(eventsMutex_);
    return !ended_;
  }

 private:
  using Parser = http::request_parser<http::buffer_body>;

  void awaitRequest();
  // Whether the request line in the buffer has ended: a head too long without that is a
  // path too long.
  bool requestLineEnded() const {
    auto data = buffer_.data();
    std::string_view text(static_cast<const char*>(data.data()), data.size());
    return text.find("\r\n") != std::string_view::npos;
  }
  void readHead(Clock::time_point firstByte);
  void onHead();
  void readBody();
  void takeBody(std::size_t bytes);
  void dispatch();
  void afterCheck(std::optional<HttpResponse> refusal);
  void answerAndClose(int status, std::string_view text);
  void writeResponse(HttpResponse response);
  void writeHead(const HttpResponse& response, bool closeAfter);
  void produceNext();
  void writeQueued();
  void finishResponse();
  void closeGracefully();
  // Reads and drops whatever comes until the client closes or the deadline passes.
  void discardUntilClosed();
  void sendContinue();
  void finish() noexcept;
  asio::thread_pool& poolFor() { return plan_.slow ? server_.slowWorkers_ : server_.quickWorkers_; }
  Clock::time_point bodyDeadline() const;
  template <class Work>
  void onLoop(Work work) {
    asio::post(server_.io_, std::move(work));
  }

  ServerCore& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::string address_;
  std::optional<Parser> parser_;
  HttpRequest request_;
  BodyPlan plan_;
  std::shared_ptr<BodySink> sink_;
  std::unique_ptr<std::array<char, BODY_CHUNK>> chunk_;
  Clock::time_point bodyStart_;
  std::uint64_t received_ = 0;
  bool keepAlive_ = true;
  bool isHead_ = false;
  bool bodyUnread_ = false;
  bool closing_ = false;

  // An answer in progress.
  std::string outgoing_;
  BodyProducer producer_;
  bool closeAfterAnswer_ = false;

  // The event stream, when this connection carries one.
  bool streaming_ = false;
  bool writing_ = false;
  std::mutex eventsMutex_;
  std::deque<std::string> events_;  // protected by eventsMutex_
  bool ended_ = false;              // protected by eventsMutex_
};

bool ServerCore::bind(const std::string& host, int port) {
  beast::error_code error;
  auto address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host, error);
  if (error)
    return false;
  tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  acceptor_.open(endpoint.protocol(), error);
  if (error)
    return false;
  configureListeningSocket(acceptor_);
  acceptor_.bind(endpoint, error);
  if (!error)
    acceptor_.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    beast::error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  port_ = acceptor_.local_endpoint().port();
  return true;
}

bool ServerCore::run() {
  if (!acceptor_.is_open())
    return false;
  running_ = true;
  if (!stopRequested_) {
    accept();
    io_.run();
  }
  running_ = false;
  // A handler still at work finishes; its answer has nowhere to go.
  quickWorkers_.join();
  slowWorkers_.join();
  open_.clear();
  return true;
}

void ServerCore::stop() noexcept {
  stopRequested_ = true;
  asio::post(io_, [this] {
    beast::error_code ignored;
    acceptor_.close(ignored);
    acceptRetry_.cancel();
    for (const auto& connection : open_)
      connection->abort();
    io_.stop();
  });
}

void ServerCore::accept() {
  acceptor_.async_accept(io_, [this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor_.is_open())
      return;
    if (error) {
      // Out of descriptors: the open connections keep being served; try again shortly
      // instead of spinning on the same failure.
      if (isLoadError(error))
        spdlog::warn("HTTP: cannot take a new connection now: " + error.message());
      acceptRetry_.expires_after(std::chrono::milliseconds(50));
      acceptRetry_.async_wait([this](beast::error_code waited) {
        if (!waited)
          accept();
      });
      return;
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    auto remote = socket.remote_endpoint(ignored);
    std::string address = ignored ? std::string() : remote.address().to_string();
    bool admitted = admitConnection(address);
    auto connection = std::make_shared<Connection>(*this, std::move(socket), address);
    if (admitted) {
      open_.insert(connection);
      connection->start();
    } else {
      open_.insert(connection);
      auto answer =
          handler_.refusal(503, "Too many connections from this computer. Try again soon.");
      answer.setHeader("Retry-After", "5");
      connection->refuse(std::move(answer));
    }
    accept();
  });
}

bool ServerCore::admitConnection(const std::string& address) {
  std::lock_guard lock(countsMutex_);
  auto& count = perAddress_[address];
  bool admitted = count < limits_.connectionsPerAddress && total_ < limits_.connections;
  // A refused connection counts while its refusal is sent, so its release balances.
  ++count;
  ++total_;
  return admitted;
}

void ServerCore::releaseConnection(const std::string& address) noexcept {
  std::lock_guard lock(countsMutex_);
  auto found = perAddress_.find(address);
  if (found != perAddress_.end() && --found->second == 0)
    perAddress_.erase(found);
  --total_;
}

void Connection::awaitRequest() {
  if (buffer_.size() > 0) {
    readHead(Clock::now());
    return;
  }
  stream_.expires_after(server_.limits_.idle);
  stream_.async_read_some(buffer_.prepare(4096),
                          [self = shared_from_this()](beast::error_code error, std::size_t bytes) {
                            if (error) {
                              self->finish();
                              return;
                            }
                            self->buffer_.commit(bytes);
                            self->readHead(Clock::now());
                          });
}

void Connection::readHead(Clock::time_point firstByte) {
  parser_.emplace();
  parser_->header_limit(static_cast<std::uint32_t>(server_.limits_.headBytes));
  parser_->body_limit(boost::none);
  stream_.expires_at(firstByte + server_.limits_.head);
  http::async_read_header(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        if (!error) {
          self->onHead();
        } else if (error == http::error::header_limit) {
          if (self->requestLineEnded())
            self->answerAndClose(431, "Request Header Fields Too Large");
          else
            self->answerAndClose(414, "URI Too Long");
        } else if (error == beast::error::timeout || error == http::error::end_of_stream ||
                   error == asio::error::eof || error == asio::error::connection_reset ||
                   error == asio::error::operation_aborted) {
          self->finish();
        } else {
          self->answerAndClose(400, "Bad Request");
        }
      });
}

void Connection::onHead() {
  const auto& message = parser_->get();
  request_ = HttpRequest{};
  request_.method = std::string(message.method_string());
  std::string_view target(message.target().data(), message.target().size());
  std::size_t query = target.find('?');
  request_.path = httplib::detail::decode_url(std::string(target.substr(0, query)), false);
  if (query != std::string_view::npos)
    httplib::detail::parse_query_text(std::string(target.substr(query + 1)), request_.params);
  for (const auto& field : message) {
    request_.headers.emplace(std::string(field.name_string()), std::string(field.value()));
  }
  request_.remoteAddress = address_;
  keepAlive_ = message.keep_alive();
  isHead_ = request_.method == "HEAD";
  received_ = 0;
  sink_.reset();
  bodyUnread_ = !parser_->is_done();

  plan_ = server_.handler_.planBody(request_);
  if (plan_.refusal) {
    answerAndClose(plan_.refusal->first, plan_.refusal->second);
    return;
  }
  auto length = parser_->content_length();
  if (length && *length > plan_.limit) {
    answerAndClose(413, "Payload Too Large");
    return;
  }
  if (plan_.checkHeadFirst && bodyUnread_) {
    stream_.expires_never();
    asio::post(poolFor(), [self = shared_from_this()] {
      std::optional<HttpResponse> refusal;
      try {
        refusal = self->server_.handler_.checkHead(self->request_);
      } catch (...) {
        refusal = self->server_.handler_.refusal(500, "Internal Server Error");
      }
      self->onLoop(
          [self, refusal = std::move(refusal)]() mutable { self->afterCheck(std::move(refusal)); });
    });
    return;
  }
  afterCheck(std::nullopt);
}

void Connection::afterCheck(std::optional<HttpResponse> refusal) {
  if (refusal) {
    keepAlive_ = keepAlive_ && !bodyUnread_;
    writeResponse(std::move(*refusal));
    return;
  }
  if (plan_.sink)
    sink_ = plan_.sink();
  if (!bodyUnread_) {
    dispatch();
    return;
  }
  chunk_ = std::make_unique<std::array<char, BODY_CHUNK>>();
  bodyStart_ = Clock::now();
  if (!equalsIgnoringCase(request_.header("Expect"), "100-continue")) {
    readBody();
    return;
  }
  sendContinue();
}

// The client waits for this before it sends its body.
void Connection::sendContinue() {
  static const std::string CONTINUE = "HTTP/1.1 100 Continue\r\n\r\n";
  stream_.expires_after(server_.limits_.write);
  asio::async_write(stream_, asio::buffer(CONTINUE),
                    [self = shared_from_this()](beast::error_code error, std::size_t) {
                      if (error) {
                        self->finish();
                        return;
                      }
                      self->readBody();
                    });
}

Clock::time_point Connection::bodyDeadline() const {
  auto rate = std::max<std::size_t>(server_.limits_.bodyBytesPerSecond, 1);
  return bodyStart_ + server_.limits_.bodyGrace +
         std::chrono::milliseconds(received_ * 1000 / rate);
}

void Connection::readBody() {
  auto& body = parser_->get().body();
  body.data = chunk_->data();
  body.size = chunk_->size();
  stream_.expires_at(bodyDeadline());
  http::async_read(stream_, buffer_, *parser_,
                   [self = shared_from_this()](beast::error_code error, std::size_t) {
                     if (error == http::error::need_buffer)
                       error = {};
                     if (error) {
                       // Too slow, cut off or malformed: nobody waits for an answer.
                       self->finish();
                       return;
                     }
                     self->takeBody(BODY_CHUNK - self->parser_->get().body().size);
                   });
}

void Connection::takeBody(std::size_t bytes) {
  received_ += bytes;
  if (received_ > plan_.limit) {
    answerAndClose(413, "Payload Too Large");
    return;
  }
  std::string_view piece(chunk_->data(), bytes);
  if (sink_) {
    if (!sink_->write(piece)) {
      // The handler answers why; the rest of the body is not read.
      keepAlive_ = false;
      dispatch();
      return;
    }
  } else {
    request_.body.append(piece);
  }
  if (parser_->is_done()) {
    bodyUnread_ = false;
    chunk_.reset();
    dispatch();
    return;
  }
  readBody();
}

void Connection::dispatch() {
  stream_.expires_never();
  asio::post(poolFor(), [self = shared_from_this()] {
    HttpResponse response;
    try {
      response = self->server_.handler_.respond(self->request_, self->sink_);
    } catch (...) {
      response = self->server_.handler_.refusal(500, "Internal Server Error");
    }
    self->onLoop([self, response = std::move(response)]() mutable {
      self->writeResponse(std::move(response));
    });
  });
}

void Connection::answerAndClose(int status, std::string_view text) {
  keepAlive_ = false;
  writeResponse(server_.handler_.refusal(status, text));
}

void Connection::writeResponse(HttpResponse response) {
  sink_.reset();
  if (response.eventStreamOpened) {
    streaming_ = true;
    keepAlive_ = false;
    writeHead(response, false);
    {
      std::lock_guard lock(eventsMutex_);
      events_.push_front(std::move(outgoing_));
    }
    outgoing_.clear();
    auto opened = std::move(response.eventStreamOpened);
    opened(shared_from_this());
    stream_.expires_never();
    writeQueued();
    // An event stream learns of a browser that left by the read that ends.
    discardUntilClosed();
    return;
  }
  bool closeAfter = !keepAlive_ || bodyUnread_ || (response.producer && !response.producedLength) ||
                    response.header("Connection") == "close";
  writeHead(response, closeAfter);
  producer_ = isHead_ ? nullptr : std::move(response.producer);
  if (!isHead_)
    outgoing_ += response.body;
  closeAfterAnswer_ = closeAfter;
  stream_.expires_after(server_.limits_.write);
  asio::async_write(stream_, asio::buffer(outgoing_),
                    [self = shared_from_this()](beast::error_code error, std::size_t) {
                      self->outgoing_.clear();
                      if (error) {
                        self->finish();
                        return;
                      }
                      if (self->producer_)
                        self->produceNext();
                      else
                        self->finishResponse();
                    });
}

void Connection::writeHead(const HttpResponse& response, bool closeAfter) {
  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " ";
  head += reasonPhrase(response.status);
  head += "\r\n";
  for (const auto& [name, value] : response.headers) {
    if (!equalsIgnoringCase(name, "Connection"))
      head += name + ": " + value + "\r\n";
  }
  if (streaming_) {
    head += "Connection: keep-alive\r\n\r\n";
    outgoing_ = std::move(head);
    return;
  }
  if (closeAfter) {
    head += "Connection: close\r\n";
  } else {
    head += "Keep-Alive: timeout=" +
            std::to_string(
                std::chrono::duration_cast<std::chrono::seconds>(server_.limits_.idle).count()) +
            ", max=100000\r\n";
  }
  bool hasBody = !response.body.empty() || response.producer;
  if (hasBody && !response.hasHeader("Content-Type"))
    head += "Content-Type: text/plain\r\n";
  if (response.producer) {
    if (response.producedLength)
      head += "Content-Length: " + std::to_string(*response.producedLength) + "\r\n";
  } else if (!response.hasHeader("Content-Length")) {
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  }
  head += "\r\n";
  outgoing_ = std::move(head);
}

void Connection::produceNext() {
  stream_.expires_never();
  // Reading the next piece of a file is quick work, whatever the route was.
  asio::post(server_.quickWorkers_, [self = shared_from_this()] {
    auto piece = std::make_shared<std::string>();
    bool more = false;
    bool failed = false;
    try {
      piece->reserve(PRODUCED_PIECE);
      more = self->producer_(*piece);
    } catch (const std::exception& e) {
      spdlog::error(std::string("An answer broke off: ") + e.what());
      failed = true;
    }
    self->onLoop([self, piece, more, failed] {
      if (failed) {
        self->finish();
        return;
      }
      self->outgoing_ = std::move(*piece);
      self->stream_.expires_after(self->server_.limits_.write);
      asio::async_write(self->stream_, asio::buffer(self->outgoing_),
                        [self, more](beast::error_code error, std::size_t) {
                          self->outgoing_.clear();
                          if (error) {
                            self->finish();
                          } else if (more) {
                            self->produceNext();
                          } else {
                            self->producer_ = nullptr;
                            self->finishResponse();
                          }
                        });
    });
  });
}

void Connection::finishResponse() {
  if (closeAfterAnswer_) {
    closeGracefully();
    return;
  }
  parser_.reset();
  request_ = HttpRequest{};
  awaitRequest();
}

void Connection::closeGracefully() {
  if (closing_)
    return;
  closing_ = true;
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream_.expires_after(LINGER);
  discardUntilClosed();
}

void Connection::discardUntilClosed() {
  if (!chunk_)
    chunk_ = std::make_unique<std::array<char, BODY_CHUNK>>();
  stream_.async_read_some(asio::buffer(*chunk_),
                          [self = shared_from_this()](beast::error_code error, std::size_t) {
                            if (error) {
                              self->finish();
                              return;
                            }
                            self->discardUntilClosed();
                          });
}

bool Connection::send(std::string text) {
  {
    std::lock_guard lock(eventsMutex_);
    if (ended_)
      return false;
    if (events_.size() >= MAX_QUEUED_EVENTS) {
      ended_ = true;
      events_.clear();
    } else {
      events_.push_back(std::move(text));
    }
  }
  onLoop([self = shared_from_this()] { self->writeQueued(); });
  return true;
}

void Connection::writeQueued() {
  if (writing_ || !streaming_)
    return;
  {
    std::lock_guard lock(eventsMutex_);
    if (ended_) {
      abort();
      return;
    }
    if (events_.empty())
      return;
    // Everything queued goes in one write, so a burst drains at the pace of the socket.
    outgoing_ = std::move(events_.front());
    events_.pop_front();
    for (; !events_.empty(); events_.pop_front())
      outgoing_ += events_.front();
  }
  writing_ = true;
  stream_.expires_after(server_.limits_.write);
  asio::async_write(stream_, asio::buffer(outgoing_),
                    [self = shared_from_this()](beast::error_code error, std::size_t) {
                      self->writing_ = false;
                      self->outgoing_.clear();
                      if (error) {
                        self->finish();
                        return;
                      }
                      self->stream_.expires_never();
                      self->writeQueued();
                    });
}

void Connection::finish() noexcept {
  {
    std::lock_guard lock(eventsMutex_);
    ended_ = true;
    events_.clear();
  }
  abort();
  server_.open_.erase(shared_from_this());
}

EventServer::EventServer(RequestHandler& handler, ServerLimits limits)
    : impl_(std::make_unique<ServerCore>(handler, limits)) {}

EventServer::~EventServer() {
  stop();
}

bool EventServer::bind(const std::string& host, int port) {
  return impl_->bind(host, port);
}

int EventServer::port() const noexcept {
  return impl_->port_;
}

bool EventServer::run() {
  return impl_->run();
}

void EventServer::stop() noexcept {
  impl_->stop();
}

bool EventServer::isRunning() const noexcept {
  return impl_->running_;
}

}  // namespace veltrano
