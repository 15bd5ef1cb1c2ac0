#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/EventServer.hpp"
#include "http/RawConnection.hpp"

namespace veltrano::test {
namespace {

using namespace std::chrono_literals;

// Answers "/quick" at once, holds "/held" until released, and opens an event stream on
// "/events".
class ScriptedHandler final : public RequestHandler {
 public:
  BodyPlan planBody(const HttpRequest& head) override {
    BodyPlan plan;
    plan.limit = 1024;
    plan.slow = head.path == "/held";
    return plan;
  }
  std::optional<HttpResponse> checkHead(HttpRequest&) override { return std::nullopt; }
  HttpResponse respond(HttpRequest& request, std::shared_ptr<BodySink>) override {
    HttpResponse response;
    if (request.path == "/held") {
      released_.get_future().wait();
    } else if (request.path == "/events") {
      response.setHeader("Content-Type", "text/event-stream");
      response.eventStreamOpened = [this](std::shared_ptr<EventChannel> channel) {
        channel_.set_value(std::move(channel));
      };
      return response;
    }
    response.setContent("answer to " + request.path + " " + request.body, "text/plain");
    return response;
  }
  HttpResponse refusal(int status, std::string_view text) override {
    HttpResponse response;
    response.status = status;
    response.setContent(std::string(text), "text/plain");
    return response;
  }

  std::promise<void> released_;
  std::promise<std::shared_ptr<EventChannel>> channel_;
};

class EventServerTest : public ::testing::Test {
 protected:
  void start(ServerLimits limits) {
    server_ = std::make_unique<EventServer>(handler_, limits);
    ASSERT_TRUE(server_->bind("127.0.0.1", 0));
    thread_ = std::thread([this] { server_->run(); });
  }
  ~EventServerTest() override {
    handler_.released_.set_value();
    if (server_)
      server_->stop();
    if (thread_.joinable())
      thread_.join();
  }

  std::string ask(const std::string& request) {
    RawConnection connection("127.0.0.1", server_->port());
    connection.send(request);
    return connection.receiveUntilClosed(3s);
  }

  ScriptedHandler handler_;
  std::unique_ptr<EventServer> server_;
  std::thread thread_;
};

TEST_F(EventServerTest, AHandlerThatTakesLongDelaysNoOtherAnswer) {
  start({});
  RawConnection held("127.0.0.1", server_->port());
  held.send("GET /held HTTP/1.1\r\nHost: x\r\n\r\n");
  for (int i = 0; i < 20; ++i) {
    std::string answer = ask("GET /quick HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("answer to /quick"), std::string::npos);
  }
}

TEST_F(EventServerTest, SlowClientsAreCutOffAtTheirDeadlinesNotPerRead) {
  ServerLimits limits;
  limits.head = 300ms;
  limits.bodyGrace = 300ms;
  limits.bodyBytesPerSecond = 1024 * 1024;
  start(limits);

  // A head and a body that each trickle in: every byte comes well within any per-read limit.
  RawConnection slowHead("127.0.0.1", server_->port());
  RawConnection slowBody("127.0.0.1", server_->port());
  slowBody.send("POST /quick HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\n");
  auto started = std::chrono::steady_clock::now();
  bool headOpen = true;
  bool bodyOpen = true;
  for (int i = 0; i < 40 && (headOpen || bodyOpen); ++i) {
    headOpen = headOpen && slowHead.send("G");
    bodyOpen = bodyOpen && slowBody.send("x");
    slowHead.receiveUntilClosed(50ms);
  }
  EXPECT_EQ(slowHead.receiveUntilClosed(2s), "");
  EXPECT_EQ(slowBody.receiveUntilClosed(2s), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);

  // A body over the limit is refused from its length, unread.
  std::string refused = ask("POST /quick HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n");
  EXPECT_EQ(refused.rfind("HTTP/1.1 413", 0), 0u) << refused;
}

TEST_F(EventServerTest, AnEventStreamCarriesEveryTextAndEndsWithItsBrowser) {
  start({});
  auto channelFuture = handler_.channel_.get_future();
  std::shared_ptr<EventChannel> channel;
  {
    RawConnection browser("127.0.0.1", server_->port());
    browser.send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(channelFuture.wait_for(3s), std::future_status::ready);
    channel = channelFuture.get();
    EXPECT_TRUE(channel->send("data: one\n\n"));
    EXPECT_TRUE(channel->send("data: two\n\n"));
    std::string received = browser.receiveUntilClosed(300ms);
    EXPECT_EQ(received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << received;
    EXPECT_NE(received.find("text/event-stream"), std::string::npos);
    EXPECT_NE(received.find("\r\n\r\ndata: one\n\ndata: two\n\n"), std::string::npos) << received;
  }
  // The browser has gone: the channel says so soon after.
  auto deadline = std::chrono::steady_clock::now() + 3s;
  while (channel->send(": ping\n\n") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_FALSE(channel->send(": ping\n\n"));
}

TEST_F(EventServerTest, ThousandsOfIdleConnectionsCostNoAnswerItsTime) {
  rlimit files{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
  if (files.rlim_max < 5000)
    GTEST_SKIP() << "this machine allows too few open files";
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  ServerLimits limits;
  limits.idle = 30s;
  limits.connectionsPerAddress = 1000;
  start(limits);

  std::vector<std::unique_ptr<RawConnection>> idle;
  for (int i = 0; i < 2000; ++i) {
    idle.push_back(
        std::make_unique<RawConnection>("127.0.0." + std::to_string(2 + i % 4), server_->port()));
    ASSERT_TRUE(idle.back()->connected()) << i;
  }
  std::string answer = ask("GET /quick HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
}

}  // namespace
}  // namespace veltrano::test
