#include "foundation/Crypto.hpp"

#include <gtest/gtest.h>

namespace veltrano {
namespace {

TEST(Crypto, KnownDigests) {
  EXPECT_EQ(getHash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(getHash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Crypto, RandomTextsHaveTheirShape) {
  auto salt = randomHex(32);
  EXPECT_EQ(salt.size(), 64u);
  EXPECT_EQ(salt.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(randomHex(32), salt);
  EXPECT_EQ(randomUuid().size(), 36u);
}

TEST(Crypto, ConstantTimeEquals) {
  EXPECT_TRUE(constantTimeEquals("abc", "abc"));
  EXPECT_FALSE(constantTimeEquals("abc", "abd"));
  EXPECT_FALSE(constantTimeEquals("abc", "ab"));
}

}  // namespace
}  // namespace veltrano
