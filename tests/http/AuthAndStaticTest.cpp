#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "http/RawConnection.hpp"
#include "http/ServerFixture.hpp"

namespace veltrano::test {
namespace {

using AuthAndStaticTest = ServerFixture;

struct Route {
  const char* method;
  const char* path;
};

const std::vector<Route> GUARDED_ROUTES{
    {"GET", "/auth/logout"},
    {"POST", "/auth/chpasswd"},
    {"GET", "/api/get/status"},
    {"GET", "/api/trigger/deleteSingleEvent/0"},
    {"GET", "/db"},
    {"POST", "/upload"},
    {"GET", "/get_signal_file/ID_ping"},
    {"GET", "/db/timetables"},
    {"POST", "/db/timetables/create"},
    {"POST", "/db/timetables/update/x"},
    {"POST", "/db/settings/update"},
};

TEST_F(AuthAndStaticTest, GuardedRoutesAnswerNoAuthOnlyWhileAPasswordIsSetAndNobodyLoggedIn) {
  auto call = [&](const Route& route, const std::string& cookie) {
    return std::string(route.method) == "GET" ? get(route.path, cookie)
                                              : post(route.path, "\"x\"", cookie);
  };
  for (const auto& route : GUARDED_ROUTES) {
    auto open = call(route, "");
    ASSERT_TRUE(open);
    EXPECT_NE(open->body, "No auth") << route.path;
    stores_.lock().shadow().password.reset();  // chpasswd sets one
  }
  setPassword("secret");
  for (const auto& route : GUARDED_ROUTES) {
    auto refused = call(route, "");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << route.path;
    EXPECT_EQ(refused->body, "No auth") << route.path;
  }
  auto whoami = get("/whoami");
  EXPECT_EQ(whoami->status, 200);
  EXPECT_EQ(whoami->body, "Veltrano Player Backend");
}

TEST_F(AuthAndStaticTest, MalformedAndOversizedLoginsAreGuessesToo) {
  setPassword("secret");
  EXPECT_EQ(post("/auth/login", "not json")->status, 400);
  EXPECT_EQ(post("/auth/login", R"({"remember": true})")->status, 400);
  EXPECT_EQ(post("/auth/login", std::string(40, '[') + std::string(40, ']'))->status, 400);
  std::string keys = "{";
  for (int i = 0; i < 1000; ++i)
    keys += "\"k" + std::to_string(i) + "\": 0, ";
  EXPECT_EQ(post("/auth/login", keys + "\"userPassword\": \"secret\"}")->status, 413);
  EXPECT_EQ(post("/auth/login", "[]")->status, 400);
  auto throttled = post("/auth/login", R"({"userPassword": "secret", "remember": true})");
  EXPECT_EQ(throttled->status, 429);
}

TEST_F(AuthAndStaticTest, LoginLogoutAndTheirFailures) {
  setPassword("secret");
  struct Case {
    const char* body;
    const char* answer;
  };
  std::vector<Case> failures{
      {R"({"userPassword": "wrong", "remember": true})", "Login failed"},
      {R"({"userPassword": "wrong"})", "Login failed"},
      {R"({"userPassword": "secret"})", "The login request needs remember"},
      {R"({"remember": true})", "The login request needs userPassword as a text"},
      {R"({"userPassword": 42, "remember": true})",
       "The login request needs userPassword as a text"},
      {R"("secret")", "The login request must be a JSON object"},
      {"not json", "The request body is not valid JSON"},
  };
  for (const auto& c : failures) {
    auto result = post("/auth/login", c.body);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400) << c.body;
    EXPECT_EQ(result->body, c.answer) << c.body;
    EXPECT_FALSE(result->has_header("Set-Cookie")) << c.body;
    // Each failure counts against this computer; a good login clears the count.
    login("secret");
  }

  auto login = post("/auth/login", R"({"userPassword": "secret", "remember": true})");
  EXPECT_EQ(login->status, 302);
  EXPECT_EQ(login->get_header_value("Location"), "/");
  std::string setCookie = login->get_header_value("Set-Cookie");
  EXPECT_NE(setCookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(setCookie.find("Max-Age=2678400"), std::string::npos);
  std::string cookie = sessionCookieOf(login);
  EXPECT_EQ(get("/db", cookie)->status, 200);

  auto logout = get("/auth/logout", cookie);
  EXPECT_EQ(logout->status, 302);
  EXPECT_EQ(logout->get_header_value("Location"), "/login");
  std::string loggedOut = sessionCookieOf(logout);
  EXPECT_EQ(get("/db", loggedOut)->body, "No auth");

  // Without remember the cookie ends with the browser.
  auto browserSession = post("/auth/login", R"({"userPassword": "secret", "remember": false})");
  EXPECT_EQ(browserSession->get_header_value("Set-Cookie").find("Max-Age"), std::string::npos);
}

TEST_F(AuthAndStaticTest, ForgedOrForeignSessionsCountAsLoggedOut) {
  setPassword("secret");
  std::string cookie = login("secret");
  ASSERT_FALSE(cookie.empty());
  std::string tampered = cookie;
  tampered[std::string("session=").size() + 3] ^= 1;
  EXPECT_EQ(get("/db", tampered)->body, "No auth");
  EXPECT_EQ(get("/db", "session=e30.AAAA")->body, "No auth");

  // A new signing key (start-up sets the salt) invalidates earlier cookies.
  server_.setSigningKey("another key");
  EXPECT_EQ(get("/db", cookie)->body, "No auth");
}

TEST_F(AuthAndStaticTest, FirstPasswordLogsTheBrowserInAndLaterChangesNeedALogin) {
  auto first = post("/auth/chpasswd", R"("first")");
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(first->body, "ok");
  std::string cookie = sessionCookieOf(first);
  EXPECT_EQ(first->get_header_value("Set-Cookie").find("Max-Age"), std::string::npos);
  EXPECT_EQ(get("/db", cookie)->status, 200);

  EXPECT_EQ(post("/auth/chpasswd", R"("second")")->body, "No auth");
  std::string otherBrowser = login("first");
  auto change = post("/auth/chpasswd", R"("second")", cookie);
  EXPECT_EQ(change->body, "ok");
  // A changed password ends every other session; this browser gets a new cookie.
  std::string renewed = sessionCookieOf(change);
  EXPECT_EQ(get("/db", renewed)->status, 200);
  EXPECT_EQ(get("/db", cookie)->body, "No auth");
  EXPECT_EQ(get("/db", otherBrowser)->body, "No auth");
  EXPECT_EQ(post("/auth/login", R"({"userPassword": "first", "remember": false})")->body,
            "Login failed");
  EXPECT_FALSE(login("second").empty());

  auto notText = post("/auth/chpasswd", R"({"password": "x"})", renewed);
  EXPECT_EQ(notText->status, 400);
  EXPECT_EQ(notText->body, "The new password must be a JSON text");
}

TEST_F(AuthAndStaticTest, RepeatedWrongPasswordsMakeThatAddressWait) {
  setPassword("secret");
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(post("/auth/login", R"({"userPassword": "guess", "remember": true})")->body,
              "Login failed");
  auto refused = post("/auth/login", R"({"userPassword": "secret", "remember": true})");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 429);
  EXPECT_EQ(refused->get_header_value("Retry-After"), "30");
  EXPECT_EQ(refused->body, "Too many failed logins from this computer. Try again in 30 seconds.");
  EXPECT_FALSE(refused->has_header("Set-Cookie"));

  RawConnection other("127.0.0.2", port_);
  ASSERT_TRUE(other.connected());
  std::string body = R"({"userPassword": "secret", "remember": true})";
  other.send(
      "POST /auth/login HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
      "Content-Type: application/json\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(other.receiveUntilClosed(std::chrono::seconds(5)).rfind("HTTP/1.1 302", 0), 0u)
      << "another computer logs in as before";
}

TEST_F(AuthAndStaticTest, StaticRulesInTheirOrder) {
  struct Case {
    bool password;
    bool loggedIn;
    const char* path;
    int status;
    const char* locationOrBody;
  };
  std::vector<Case> cases{
      {false, false, "/", 200, TEST_INDEX_HTML},
      {false, false, "/timetables", 200, TEST_INDEX_HTML},
      {false, false, "/login", 302, "/"},
      {false, false, "/welcome", 200, TEST_INDEX_HTML},
      {true, false, "/", 302, "/login"},
      {true, false, "/calendar", 302, "/login"},
      {true, false, "/login", 200, TEST_INDEX_HTML},
      {true, false, "/welcome", 200, TEST_INDEX_HTML},
      {true, false, "/assets/app.js", 200, TEST_SCRIPT},
      {true, false, "/api/get/", 302, "/login"},
      {true, true, "/", 200, TEST_INDEX_HTML},
      {true, true, "/login", 302, "/"},
      {true, true, "/upload", 200, TEST_INDEX_HTML},
  };
  for (const auto& c : cases) {
    if (c.password)
      setPassword("secret");
    std::string cookie = c.loggedIn ? login("secret") : "";
    auto result = get(c.path, cookie);
    ASSERT_TRUE(result) << c.path;
    EXPECT_EQ(result->status, c.status) << c.path;
    if (c.status == 302) {
      EXPECT_EQ(result->get_header_value("Location"), c.locationOrBody) << c.path;
    } else {
      EXPECT_EQ(result->body, c.locationOrBody) << c.path;
    }
    stores_.lock().shadow().password.reset();
  }
  auto script = get("/assets/app.js");
  EXPECT_EQ(script->get_header_value("Content-Type"), "text/javascript; charset=utf-8");
}

}  // namespace
}  // namespace veltrano::test
