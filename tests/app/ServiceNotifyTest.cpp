#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <string>

#include "app/Application.hpp"
#include "app/PlayerProcess.hpp"
#include "audio/FakeFilePlayer.hpp"
#include "audio/ScopedEnv.hpp"
#include "http/TestBundle.hpp"
#include "remote/ServiceStub.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

// The service manager's end of the notify protocol: a datagram socket at a path.
class NotifySocket {
 public:
  explicit NotifySocket(const std::filesystem::path& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
      throw std::runtime_error("cannot bind " + path.string());
  }
  ~NotifySocket() { ::close(fd_); }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  // The next message, or nullopt when none comes within the time-out.
  std::optional<std::string> next(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1)
      return std::nullopt;
    char buffer[512];
    ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
    return count < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, count));
  }
  // Waits for a message holding the text, skipping others.
  bool waitFor(const std::string& text) {
    while (auto message = next()) {
      if (message->find(text) != std::string::npos)
        return true;
    }
    return false;
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

bool answers(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(1, 0);
  auto result = client.Get("/whoami");
  return result && result->status == 200;
}

TEST(ServiceNotifyTest, ProgramReportsReadyOnceServingThenPingsAndStops) {
  TempDir temp;
  TestBundle bundle(temp.path());
  ServiceStub stub;
  NotifySocket manager(temp.path() / "notify");
  int port = freePort();
  PlayerProcess player(bundle, port, stub.url(), {},
                       {{"NOTIFY_SOCKET", manager.path()}, {"WATCHDOG_USEC", "200000"}});
  auto first = manager.next();
  ASSERT_TRUE(first) << player.output();
  EXPECT_EQ(*first, "READY=1");
  EXPECT_TRUE(answers(port));
  for (int ping = 0; ping < 3; ++ping) {
    EXPECT_EQ(manager.next(), "WATCHDOG=1");
  }
  player.terminate();
  EXPECT_TRUE(manager.waitFor("STOPPING=1"));
  EXPECT_EQ(player.waitForExit(), 0);
}

TEST(ServiceNotifyTest, WatchdogPingsEndWhileTheSchedulerHangs) {
  TempDir temp;
  TestBundle bundle(temp.path());
  ServiceStub stub;
  NotifySocket manager(temp.path() / "notify");
  ScopedEnv socket("NOTIFY_SOCKET", manager.path());
  ScopedEnv interval("WATCHDOG_USEC", "100000");

  // The scheduler reads the clock in every round: a clock that blocks hangs the round.
  std::mutex mutex;
  std::condition_variable released;
  bool hang = false;
  bool hanging = false;
  ApplicationOptions options;
  int port = freePort();
  options.arguments = {"veltrano-player", "--port", std::to_string(port)};
  options.environment = bundle.environment();
  FakeStage stage;
  options.filePlayerFactory = stage.factory();
  options.serviceUrl = stub.url();
  options.host = "127.0.0.1";
  options.getEnvironment = [](const std::string&) { return std::nullopt; };
  options.timeSource = [&] {
    std::unique_lock lock(mutex);
    if (hang) {
      hanging = true;
      released.notify_all();
      released.wait(lock, [&] { return !hang; });
    }
    return readLocalTime();
  };
  Application application(std::move(options));
  auto status = std::async(std::launch::async, [&] { return application.start(); });

  ASSERT_TRUE(manager.waitFor("READY=1"));
  EXPECT_TRUE(manager.waitFor("WATCHDOG=1"));
  {
    std::unique_lock lock(mutex);
    hang = true;
    released.wait(lock, [&] { return hanging; });
  }
  // A ping sent just before the hang may still be queued; after it, silence while serving.
  std::optional<std::string> message;
  for (int queued = 0; queued < 3; ++queued) {
    message = manager.next(std::chrono::milliseconds(500));
    if (!message || *message != "WATCHDOG=1")
      break;
  }
  EXPECT_FALSE(message) << *message;
  EXPECT_TRUE(answers(port));

  {
    std::lock_guard lock(mutex);
    hang = false;
  }
  released.notify_all();
  EXPECT_TRUE(manager.waitFor("WATCHDOG=1"));
  application.stop();
  EXPECT_EQ(status.get(), 0);
}

}  // namespace
}  // namespace veltrano::test
