#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace veltrano::test {

// A stand-in for the remote calendar and announcement service, listening on a free
// loopback port for the lifetime of the object. It answers "ping", "getCalendarRegistry"
// and "downloadAnnouncement" from what the test set, records every request, and can be
// told to answer anything else, or to accept requests and never answer.
class ServiceStub {
 public:
  struct Reply {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
  };
  using Handler = std::function<Reply(const httplib::Request&)>;

  // `pathPrefix` ("" or like "/mirror") is where the service path lies below the root.
  explicit ServiceStub(std::string pathPrefix = "") : pathPrefix_(std::move(pathPrefix)) {
    server_.new_task_queue = [] { return new httplib::ThreadPool(8); };
    server_.set_keep_alive_timeout(1);
    server_.set_tcp_nodelay(true);
    server_.Get(pathPrefix_ + "/api/player/v1",
                [this](const httplib::Request& request, httplib::Response& response) {
                  serve(request, response);
                });
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
      throw std::runtime_error("ServiceStub: cannot bind a loopback port");
    }
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    waitUntilRunning(server_);
  }

  ~ServiceStub() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    server_.stop();
    thread_.join();
  }

  ServiceStub(const ServiceStub&) = delete;
  ServiceStub& operator=(const ServiceStub&) = delete;

  // The base URL to give the client (without the path prefix).
  std::string rootUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The base URL including the path prefix.
  std::string url() const { return rootUrl() + pathPrefix_; }
  int port() const { return port_; }

  void setCalendarVersion(int version) {
    std::lock_guard lock(mutex_);
    calendarVersion_ = version;
  }

  // What "getCalendarRegistry" answers: {"entries": entries, "version": version}.
  void setRegistry(nlohmann::ordered_json entries, int version) {
    std::lock_guard lock(mutex_);
    registryEntries_ = std::move(entries);
    registryVersion_ = version;
  }

  // What "downloadAnnouncement" answers for `id`; unknown ids get 404 "Not found".
  void setAnnouncement(const std::string& id, std::string bytes,
                       std::string contentType = "audio/mpeg") {
    std::lock_guard lock(mutex_);
    announcements_[id] = Reply{200, std::move(contentType), std::move(bytes), {}};
  }

  // Replaces the stub's answer for one operation (the value of `c`).
  void setHandler(const std::string& operation, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[operation] = std::move(handler);
  }

  // Always answers `reply` to one operation.
  void setReply(const std::string& operation, Reply reply) {
    setHandler(operation, [reply](const httplib::Request&) { return reply; });
  }

  // While silent, requests are accepted and read but get no answer.
  void setSilent(bool silent) {
    {
      std::lock_guard lock(mutex_);
      silent_ = silent;
    }
    released_.notify_all();
  }

  // Raw request targets (path and query as sent), in order of arrival.
  std::vector<std::string> targets() const {
    std::lock_guard lock(mutex_);
    return targets_;
  }

  // The decoded query parameters of each request, in order of arrival.
  std::vector<std::multimap<std::string, std::string>> params() const {
    std::lock_guard lock(mutex_);
    return params_;
  }

  // How many requests named `operation`.
  int count(std::string_view operation) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(params_.begin(), params_.end(), [&](const auto& p) {
      const auto c = p.find("c");
      return c != p.end() && c->second == operation;
    }));
  }

  // stop() before the accept loop runs would be lost and the server would never end.
  static void waitUntilRunning(const httplib::Server& server) {
    for (int i = 0; i < 5000 && !server.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // A loopback base URL where nothing listens (connections are refused).
  static std::string closedUrl() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (fd >= 0) {
        ::close(fd);
      }
      throw std::runtime_error("ServiceStub: cannot find a free port");
    }
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  }

 private:
  void serve(const httplib::Request& request, httplib::Response& response) {
    Reply reply;
    Handler handler;
    {
      std::unique_lock lock(mutex_);
      targets_.push_back(request.target);
      params_.emplace_back(request.params.begin(), request.params.end());
      released_.wait(lock, [this] { return !silent_ || stopping_; });
      if (stopping_) {
        return;
      }
      if (const auto found = handlers_.find(request.get_param_value("c"));
          found != handlers_.end()) {
        handler = found->second;
      } else {
        reply = answer(request);
      }
    }
    if (handler) {
      reply = handler(request);  // outside the lock: it may call the stub
    }
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) {
      response.set_header(name, value);
    }
    response.set_content(reply.body, reply.contentType);
  }

  // The built-in answers; caller holds mutex_.
  Reply answer(const httplib::Request& request) {
    const std::string operation = request.get_param_value("c");
    if (operation == "ping") {
      return Reply{200,
                   "application/json",
                   nlohmann::ordered_json{{"calendarVersion", calendarVersion_}}.dump(),
                   {}};
    }
    if (operation == "getCalendarRegistry") {
      return Reply{
          200,
          "application/json",
          nlohmann::ordered_json{{"entries", registryEntries_}, {"version", registryVersion_}}
              .dump(),
          {}};
    }
    if (operation == "downloadAnnouncement") {
      const auto found = announcements_.find(request.get_param_value("id"));
      if (found != announcements_.end()) {
        return found->second;
      }
      return Reply{404, "text/plain; charset=utf-8", "Not found", {}};
    }
    return Reply{400, "text/plain; charset=utf-8", "Unknown command", {}};
  }

  const std::string pathPrefix_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable released_;  // wakes silenced requests
  // Protected by mutex_:
  bool silent_ = false;
  bool stopping_ = false;
  int calendarVersion_ = 0;
  nlohmann::ordered_json registryEntries_ = nlohmann::ordered_json::object();
  int registryVersion_ = 0;
  std::map<std::string, Reply> announcements_;
  std::map<std::string, Handler> handlers_;
  std::vector<std::string> targets_;
  std::vector<std::multimap<std::string, std::string>> params_;
};

}  // namespace veltrano::test
