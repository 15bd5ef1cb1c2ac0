#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "remote/Alerts.hpp"

namespace veltrano {
namespace {

class AlertsTest : public ::testing::Test {
 protected:
  AlertsTest()
      : alerts_(
            stores_, clock_, "bells-1",
            [this](const MailMessage& message) -> std::optional<std::string> {
              std::lock_guard lock(mutex_);
              sent_.push_back(message);
              return std::nullopt;
            },
            [this] { return now_; }) {
    clock_.updateClock();
  }

  void setAlerts(std::vector<std::string> email, std::vector<std::string> on) {
    auto access = stores_.lock();
    access.db().settings.alerts.email = std::move(email);
    access.db().settings.alerts.on = std::move(on);
  }
  std::vector<MailMessage> sent() {
    alerts_.flush();
    std::lock_guard lock(mutex_);
    return sent_;
  }
  static Alert bellFailed() { return {"bellFailed", "The bell 'tone' could not play.", "Fix it."}; }

  Stores stores_;
  Clock clock_;
  std::chrono::steady_clock::time_point now_{std::chrono::hours(1000)};
  std::mutex mutex_;
  std::vector<MailMessage> sent_;
  Alerts alerts_;
};

TEST_F(AlertsTest, EachKindIsMailedAtMostOnceAnHourToTheAddressesThatAskForIt) {
  alerts_.raise(bellFailed());
  EXPECT_TRUE(sent().empty()) << "no address set";

  setAlerts({"caretaker@school.example", "head@school.example"}, {"bellFailed", "saveFailed"});
  alerts_.raise(bellFailed());
  alerts_.raise(bellFailed());
  alerts_.raise({"clockUnsynchronised", "The clock drifts.", "Check it."});
  ASSERT_EQ(sent().size(), 1u);
  const MailMessage first = sent().front();
  EXPECT_EQ(first.to,
            (std::vector<std::string>{"caretaker@school.example", "head@school.example"}));
  EXPECT_EQ(first.subject, "[bells-1] A bell could not ring");
  EXPECT_NE(first.body.find("The bell 'tone' could not play."), std::string::npos);
  EXPECT_NE(first.body.find("What to do: Fix it."), std::string::npos);

  alerts_.raise({"saveFailed", "Disk full.", "Free space."});
  now_ += Alerts::QUIET_PERIOD - std::chrono::seconds(1);
  alerts_.raise(bellFailed());
  EXPECT_EQ(sent().size(), 2u) << "a second kind goes out, the same kind waits an hour";
  now_ += std::chrono::seconds(1);
  alerts_.raise(bellFailed());
  EXPECT_EQ(sent().size(), 3u);
}

TEST_F(AlertsTest, MessagesCannotSmuggleHeadersOrOptions) {
  // Settings are checked where they enter; a restored database could still bring bad ones.
  setAlerts({"-oQ/tmp/x@school.example"}, {"bellFailed"});
  alerts_.raise(bellFailed());
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(alerts_.sendTest().has_value());

  AlertSettings settings;
  settings.email = {"a@b.example\nBcc: x@y.example"};
  EXPECT_NE(settings.problem(), "");
  settings.email = {"caretaker@school.example"};
  settings.on = {"bellFailed", "everything"};
  EXPECT_EQ(settings.problem(), "Unknown alert: 'everything'");

  MailMessage message{{"a@b.example"}, "Csengő\nBcc: x@y.example", "body"};
  const std::string text = MailTransfer::render(message);
  EXPECT_EQ(text.find("\nBcc:"), std::string::npos) << text;
  EXPECT_NE(text.find("Subject: =?UTF-8?B?"), std::string::npos) << text;
}

}  // namespace
}  // namespace veltrano
