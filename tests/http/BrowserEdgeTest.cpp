#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

using BrowserEdgeTest = ServerFixture;

// What a page on another site, or one loaded under a rebinding name, can make a teacher's
// browser send; none of it may change anything or count as a login attempt.
TEST_F(BrowserEdgeTest, CrossSiteAndRebindingRequestsAreRefusedBeforeTheyDoAnything) {
  struct Case {
    const char* method;
    const char* path;
    httplib::Headers headers;
    int status;
  };
  std::string own = "http://127.0.0.1:" + std::to_string(port_);
  std::vector<Case> cases{
      {"GET", "/api/trigger/alarmOn/x", {{"Sec-Fetch-Site", "cross-site"}}, 403},
      {"GET", "/api/trigger/alarmOn/x", {{"Sec-Fetch-Site", "same-site"}}, 403},
      {"GET", "/api/trigger/alarmOn/x", {{"Host", "evil.example"}}, 421},
      {"GET", "/api/trigger/alarmOn/x", {{"Host", "evil.example:2233"}}, 421},
      {"POST", "/auth/chpasswd", {{"Origin", "http://evil.example"}}, 403},
      {"POST", "/auth/chpasswd", {{"Origin", "null"}}, 403},
      {"POST", "/auth/login", {{"Origin", "http://127.0.0.1:9999"}}, 403},
      {"POST", "/auth/login", {{"Sec-Fetch-Site", "cross-site"}}, 403},
      {"POST", "/auth/login", {{"Host", "rebind.evil.example"}}, 421},
      {"GET", "/auth/logout", {{"Sec-Fetch-Site", "cross-site"}}, 403},
  };
  for (const auto& c : cases) {
    httplib::Result result = std::string(c.method) == "GET"
                                 ? client_->Get(c.path, c.headers)
                                 : client_->Post(c.path, c.headers, R"("attacker")", "text/plain");
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.method << " " << c.path;
    EXPECT_EQ(result->body, c.status == 403 ? "Cross-site request refused" : "Unknown host name");
    EXPECT_FALSE(result->has_header("Set-Cookie"));
  }
  EXPECT_FALSE(alarm_.isActive());
  EXPECT_FALSE(stores_.lock().shadow().isPasswordSet());

  // The player's own pages, scripts without these headers, and reads from anywhere work.
  EXPECT_EQ(client_->Get("/api/get/status", {{"Sec-Fetch-Site", "same-origin"}})->status, 200);
  EXPECT_EQ(client_->Get("/api/get/status", {{"Sec-Fetch-Site", "cross-site"}})->status, 200);
  EXPECT_EQ(client_->Get("/api/get/status", {{"Host", "localhost:2233"}})->status, 200);
  EXPECT_EQ(client_->Get("/api/get/status", {{"Host", "[::1]:2233"}})->status, 200);
  EXPECT_EQ(client_->Get("/api/trigger/alarmOn/x", {{"Origin", own}})->status, 200);
  EXPECT_TRUE(alarm_.isActive());
  EXPECT_EQ(get("/api/trigger/alarmOff/x")->status, 200);

  // A failed login from another site is no guess: the throttle never starts.
  setPassword("secret");
  for (int i = 0; i < 6; ++i)
    client_->Post("/auth/login", {{"Sec-Fetch-Site", "cross-site"}}, R"({"userPassword": "x"})",
                  "application/json");
  EXPECT_FALSE(login("secret").empty());
}

}  // namespace
}  // namespace veltrano::test
