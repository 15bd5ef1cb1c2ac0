#include "foundation/Crypto.hpp"
#include "foundation/Shadow.hpp"

#include <gtest/gtest.h>

namespace veltrano {
namespace {

TEST(Shadow, PasswordRoundTripIncludingNonAscii) {
  for (std::string password : {"secret", "", "J\u00f3 napot \u2603 \U0001F514"}) {
    Shadow shadow;
    EXPECT_FALSE(shadow.isPasswordSet());
    shadow.setPassword(password);
    EXPECT_TRUE(shadow.isPasswordSet());
    EXPECT_TRUE(shadow.isPasswordMatching(password));
    EXPECT_FALSE(shadow.isPasswordMatching(password + "x"));
    EXPECT_EQ(*shadow.password, getHash(*shadow.salt + password));
  }
}

TEST(Shadow, DigestIsSaltThenPasswordUtf8) {
  Shadow shadow;
  shadow.salt = std::string(64, 'a');
  shadow.setPassword("\u00e9");
  EXPECT_EQ(*shadow.password, getHash(std::string(64, 'a') + "\xc3\xa9"));
}

TEST(Shadow, NoPasswordNeverMatchesButCreatesTheSalt) {
  Shadow shadow;
  EXPECT_FALSE(shadow.isPasswordMatching(""));
  ASSERT_TRUE(shadow.salt.has_value());
  EXPECT_EQ(shadow.salt->size(), 64u);
  EXPECT_EQ(shadow.getCurrentSalt(), *shadow.salt);
}

TEST(Shadow, SameSaltSameDigestOtherSaltOtherDigest) {
  Shadow first;
  first.setPassword("pw");
  auto digest = *first.password;
  first.setPassword("pw");
  EXPECT_EQ(*first.password, digest);
  Shadow second;
  second.setPassword("pw");
  EXPECT_NE(*second.password, digest);
}

TEST(Shadow, StoredFormKeepsNullPassword) {
  Shadow shadow;
  shadow.salt = "ab";
  EXPECT_EQ(toJson(shadow), R"({"_salt": "ab", "_pwd": null})");
  Shadow decoded = fromJson<Shadow>(toJson(shadow));
  EXPECT_EQ(decoded.salt, "ab");
  EXPECT_FALSE(decoded.isPasswordSet());
}

}  // namespace
}  // namespace veltrano
