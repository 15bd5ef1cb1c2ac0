#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/ServerFixture.hpp"
#include "http/SessionRegistry.hpp"

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

TEST_F(BrowserEdgeTest, LoginsEndForGoodAndOutliveARestart) {
  setPassword("secret");
  std::string cookie = login("secret", /*remember=*/true);
  std::string copied = cookie;
  EXPECT_EQ(get("/auth/sessions", cookie)->body, R"({"count":1})");
  get("/auth/logout", cookie);
  EXPECT_EQ(get("/db", copied)->body, "No auth") << "a copied cookie ends with its logout";

  auto notBoolean = post("/auth/login", R"({"userPassword": "secret", "remember": "yes"})");
  EXPECT_EQ(notBoolean->status, 400);
  EXPECT_EQ(notBoolean->body, "The login request needs remember as true or false");

  // The oldest of more than 50 logins goes first.
  std::string oldest = login("secret");
  for (int i = 0; i < 50; ++i)
    login("secret");
  EXPECT_EQ(get("/db", oldest)->body, "No auth");

  // A restart keeps the logins; signing out everywhere ends them all.
  std::string kept = login("secret");
  SessionRegistry reloaded(paths_.getUserFilePath("sessions.json"));
  EXPECT_EQ(reloaded.count(), SessionRegistry::MAX_SESSIONS);
  EXPECT_EQ(post("/auth/logout-everywhere", "", kept)->status, 200);
  EXPECT_EQ(get("/db", kept)->body, "No auth");
  EXPECT_EQ(SessionRegistry(paths_.getUserFilePath("sessions.json")).count(), 0u);
}

}  // namespace
}  // namespace veltrano::test
