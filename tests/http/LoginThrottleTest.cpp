#include <gtest/gtest.h>

#include <string>

#include "http/LoginThrottle.hpp"

namespace veltrano::test {
namespace {

using namespace std::chrono_literals;

class LoginThrottleTest : public ::testing::Test {
 protected:
  void fail(const std::string& address, int times = 1) {
    for (int i = 0; i < times; ++i)
      throttle_.recordFailure(address);
  }

  LoginThrottle::TimePoint now_{};
  LoginThrottle throttle_{[this] { return now_; }};
};

TEST_F(LoginThrottleTest, WaitStartsAfterFiveQuickFailuresAndDoublesUpToFifteenMinutes) {
  fail("10.0.0.5", 4);
  EXPECT_EQ(throttle_.remainingWait("10.0.0.5"), 0s);
  fail("10.0.0.5");
  EXPECT_EQ(throttle_.remainingWait("10.0.0.5"), 30s);
  EXPECT_EQ(throttle_.remainingWait("10.0.0.6"), 0s) << "another address is not affected";
  now_ += 29'500ms;
  EXPECT_EQ(throttle_.remainingWait("10.0.0.5"), 1s) << "rounded up";

  for (auto expected : {60s, 120s, 240s, 480s, 900s, 900s}) {
    now_ += throttle_.remainingWait("10.0.0.5");
    EXPECT_EQ(throttle_.remainingWait("10.0.0.5"), 0s);
    fail("10.0.0.5");
    EXPECT_EQ(throttle_.remainingWait("10.0.0.5"), expected);
  }

  // The right password after the wait starts the address afresh.
  now_ += 900s;
  throttle_.recordSuccess("10.0.0.5");
  fail("10.0.0.5", 4);
  EXPECT_EQ(throttle_.remainingWait("10.0.0.5"), 0s);
}

TEST_F(LoginThrottleTest, SlowFailuresAndOldOnesDoNotCount) {
  for (int i = 0; i < 10; ++i) {
    fail("10.0.0.7");
    now_ += 16s;  // at most four within any minute
  }
  EXPECT_EQ(throttle_.remainingWait("10.0.0.7"), 0s);

  fail("10.0.0.8", 5);
  now_ += 25h;
  fail("10.0.0.8");
  EXPECT_EQ(throttle_.remainingWait("10.0.0.8"), 0s) << "a day later the wait is forgotten";
}

TEST_F(LoginThrottleTest, RemembersABoundedNumberOfAddresses) {
  for (std::size_t i = 0; i < LOGIN_MAX_ADDRESSES + 100; ++i) {
    fail("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256));
    now_ += 1ms;
  }
  EXPECT_EQ(throttle_.trackedAddresses(), LOGIN_MAX_ADDRESSES);
}

TEST_F(LoginThrottleTest, AnAttackFromManyAddressesTakesTurnsButSparesTheInnocent) {
  // A burst of guesses from 40 computers, each trying as fast as it is let in, for a minute.
  int admitted = 0;
  for (int tick = 0; tick < 600; ++tick, now_ += 100ms) {
    for (int computer = 0; computer < 40; ++computer) {
      std::string address = "10.1.0." + std::to_string(computer);
      if (throttle_.admitAttempt(address) == 0s) {
        ++admitted;
        fail(address);
      }
    }
  }
  EXPECT_LE(admitted, 40 + 60 + 5) << "every computer's first guess, then one a second";
  EXPECT_EQ(throttle_.admitAttempt("10.2.0.1"), 0s) << "a computer that never failed";
  now_ += 61s;
  EXPECT_EQ(throttle_.admitAttempt("10.9.0.9"), 0s);
}

}  // namespace
}  // namespace veltrano::test
