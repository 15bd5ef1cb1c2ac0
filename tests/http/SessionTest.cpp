#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "http/Session.hpp"

namespace veltrano {
namespace {

TEST(SessionTest, Base64UrlRoundTripsAndRejectsForeignText) {
  for (std::string bytes :
       {std::string(""), std::string("f"), std::string("fo"), std::string("foo"),
        std::string("\xff\xfe\x00\x01", 4), std::string("{\"loggedIn\":true}")}) {
    auto decoded = base64UrlDecode(base64UrlEncode(bytes));
    ASSERT_TRUE(decoded) << bytes;
    EXPECT_EQ(*decoded, bytes);
  }
  EXPECT_EQ(base64UrlEncode("\xfb\xff"), "-_8");
  for (const char* bad : {"a", "ab+c", "ab/c", "ab=c", "Zh"}) {
    EXPECT_FALSE(base64UrlDecode(bad)) << bad;
  }
}

TEST(SessionTest, FindsTheNamedCookieAmongOthers) {
  struct Case {
    const char* header;
    std::optional<std::string> value;
  };
  std::vector<Case> cases{
      {"session=abc", "abc"},
      {"theme=dark; session=abc.def; lang=en", "abc.def"},
      {"  session = \"quoted\" ", "quoted"},
      {"mysession=x; session_old=y", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(findCookie(c.header, "session"), c.value) << c.header;
  }
}

TEST(SessionTest, AcceptsOnlyItsOwnUnchangedRecentSignature) {
  std::int64_t now = 1'000'000;
  SessionSigner signer("key-one", [&] { return now; });
  Session session;
  session.loggedIn = true;
  session.permanent = true;
  std::string cookie = signer.encode(session);

  auto decoded = signer.decode(cookie);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->loggedIn);
  EXPECT_TRUE(decoded->isPermanent());

  // Flipping any character of the payload or signature breaks it.
  for (std::size_t i = 0; i < cookie.size(); ++i) {
    if (cookie[i] == '.')
      continue;
    std::string tampered = cookie;
    tampered[i] = tampered[i] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(signer.decode(tampered)) << "position " << i;
  }
  EXPECT_FALSE(SessionSigner("key-two", [&] { return now; }).decode(cookie));
  EXPECT_FALSE(signer.decode("no-dot-at-all"));

  now += SESSION_LIFETIME.count();
  EXPECT_TRUE(signer.decode(cookie));
  now += 1;
  EXPECT_FALSE(signer.decode(cookie));

  signer.setKey("key-two");
  EXPECT_FALSE(signer.decode(cookie));
}

TEST(SessionTest, CookieFlagsAndLifetimeFollowTheRememberChoice) {
  SessionSigner signer;
  Session remembered;
  remembered.loggedIn = true;
  remembered.permanent = true;
  Session browserSession = remembered;
  browserSession.permanent = false;

  std::string header = signer.setCookieHeader(remembered);
  EXPECT_EQ(header.rfind("session=", 0), 0u);
  EXPECT_NE(header.find("; HttpOnly"), std::string::npos);
  EXPECT_NE(header.find("; SameSite=Strict"), std::string::npos);
  EXPECT_NE(header.find("; Path=/"), std::string::npos);
  EXPECT_NE(header.find("; Max-Age=2678400"), std::string::npos);
  EXPECT_EQ(signer.setCookieHeader(browserSession).find("Max-Age"), std::string::npos);
}

}  // namespace
}  // namespace veltrano
