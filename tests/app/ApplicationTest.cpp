#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/Application.hpp"
#include "app/PlayerProcess.hpp"
#include "audio/FakeFilePlayer.hpp"
#include "http/TestBundle.hpp"
#include "remote/ServiceStub.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

// One application in this process, on its own port and data, run on a thread of its own.
class RunningApplication {
 public:
  RunningApplication(const std::filesystem::path& root, const std::string& serviceUrl,
                     std::vector<std::string> extraArguments = {}, bool tray = false,
                     int port = freePort())
      : bundle_(root), port_(port) {
    ApplicationOptions options;
    options.arguments = {"veltrano-player", "--port", std::to_string(port_)};
    options.arguments.insert(options.arguments.end(), extraArguments.begin(), extraArguments.end());
    options.environment = bundle_.environment();
    options.filePlayerFactory = stage_.factory();
    options.serviceUrl = serviceUrl;
    options.host = "127.0.0.1";
    options.popupDelay = std::chrono::milliseconds(0);
    options.getEnvironment = [](const std::string&) { return std::nullopt; };
    options.openUrl = [this](const std::string& url) {
      std::lock_guard lock(mutex_);
      opened_.push_back(url);
      if (opened_.size() == 1)
        openedPromise_.set_value();
    };
    application_ = std::make_unique<Application>(std::move(options));
    status_ =
        std::async(std::launch::async, [this, tray] { return application_->start(tray); }).share();
  }
  ~RunningApplication() {
    application_->stop();
    status_.wait();
  }

  bool serving() {
    for (int i = 0; i < 1000; ++i) {
      if (status_.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready)
        return false;
      httplib::Client client("127.0.0.1", port_);
      if (auto result = client.Get("/whoami"); result && result->status == 200)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // The first URL handed to the browser, waiting for it.
  std::string firstOpened() {
    if (openedFuture_.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
      return "";
    std::lock_guard lock(mutex_);
    return opened_.front();
  }
  std::vector<std::string> opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  int waitForStatus() { return status_.get(); }

  TestBundle bundle_;
  FakeStage stage_;
  int port_;
  std::unique_ptr<Application> application_;

 private:
  std::mutex mutex_;
  std::vector<std::string> opened_;  // protected by mutex_
  std::promise<void> openedPromise_;
  std::shared_future<void> openedFuture_ = openedPromise_.get_future().share();
  std::shared_future<int> status_;
};

std::string url(int port, const std::string& page) {
  return "http://localhost:" + std::to_string(port) + "/" + page;
}

TEST(ApplicationTest, TwoApplicationsRunSideBySideWithTheirOwnData) {
  TempDir one;
  TempDir two;
  ServiceStub stub;
  RunningApplication first(one.path(), stub.url());
  RunningApplication second(two.path(), stub.url());
  ASSERT_TRUE(first.serving());
  ASSERT_TRUE(second.serving());

  httplib::Client toFirst("127.0.0.1", first.port_);
  ASSERT_EQ(toFirst.Post("/auth/chpasswd", R"("pw")", "application/json")->body, "ok");
  httplib::Client toSecond("127.0.0.1", second.port_);
  EXPECT_EQ(toSecond.Get("/db")->status, 200);
  EXPECT_EQ(toFirst.Get("/db")->body, "No auth");
  EXPECT_TRUE(first.opened().empty());  // not a tray start
  EXPECT_EQ(first.application_->getIconPath(),
            (std::filesystem::canonical(first.bundle_.dist()) / "favicon.ico").string());
}

TEST(ApplicationTest, TrayStartOpensWelcomeFirstAndTheDashboardLater) {
  TempDir dir;
  ServiceStub stub;
  {
    RunningApplication firstStart(dir.path(), stub.url(), {}, true);
    ASSERT_TRUE(firstStart.serving());
    EXPECT_EQ(firstStart.firstOpened(), url(firstStart.port_, "welcome?isTray=1"));
    // A change makes the database file exist for the next start.
    httplib::Client client("127.0.0.1", firstStart.port_);
    client.Post("/db/settings/update", R"({"alarmDelaySec": 2})", "application/json");
  }
  RunningApplication later(dir.path(), stub.url(), {}, true);
  ASSERT_TRUE(later.serving());
  EXPECT_EQ(later.firstOpened(), url(later.port_, ""));
  later.application_->openWelcome();
  EXPECT_EQ(later.opened().back(), url(later.port_, "welcome?isTray=1"));
}

TEST(ApplicationTest, NoPopupKeepsTheBrowserClosedEvenWhenAnInstanceRuns) {
  TempDir dir;
  TempDir other;
  ServiceStub stub;
  RunningApplication quiet(dir.path(), stub.url(), {"--no-popup"}, true);
  ASSERT_TRUE(quiet.serving());
  EXPECT_TRUE(quiet.opened().empty());

  RunningApplication twin(other.path(), stub.url(), {"--no-popup"}, true, quiet.port_);
  EXPECT_EQ(twin.waitForStatus(), 1);
  EXPECT_TRUE(twin.opened().empty());

  // Without --no-popup a tray start shows the instance that already runs.
  RunningApplication shower(other.path(), stub.url(), {}, true, quiet.port_);
  EXPECT_EQ(shower.waitForStatus(), 1);
  EXPECT_EQ(shower.opened(), std::vector<std::string>{url(quiet.port_, "")});
}

}  // namespace
}  // namespace veltrano::test
