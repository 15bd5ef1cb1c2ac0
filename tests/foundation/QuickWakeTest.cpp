#include "foundation/QuickWake.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>

namespace veltrano {
namespace {

// The kernel's limit in force now, in microseconds; -1 when it cannot be read.
std::int32_t wakeLatencyLimit() {
  const int limit = open("/dev/cpu_dma_latency", O_RDONLY | O_CLOEXEC);
  if (limit < 0)
    return -1;
  std::int32_t value = -1;
  if (read(limit, &value, sizeof value) != static_cast<ssize_t>(sizeof value))
    value = -1;
  close(limit);
  return value;
}

TEST(QuickWakeTest, KeepsProcessorsQuickToWakeWhileItLivesAndNeverFailsWithoutTheRight) {
  QuickWake wake;
  if (wakeLatencyLimit() < 0) {
    EXPECT_FALSE(wake.held());  // nothing asked, nothing broken
    GTEST_SKIP() << "the processors' wake-up latency limit cannot be read here";
  }
  ASSERT_TRUE(wake.held());
  EXPECT_EQ(wakeLatencyLimit(), 0);
  QuickWake another;  // two at once: each its own request
  EXPECT_TRUE(another.held());
}

}  // namespace
}  // namespace veltrano
