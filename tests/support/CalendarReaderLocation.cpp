#include <cstdlib>

// Test programs live below the build directory, away from the reader program beside the
// player: they run the one built here (a variable already set wins).
namespace {
const bool READER_CHOSEN = [] {
  return ::setenv("VELTRANO_CALENDAR_READER", VELTRANO_CALENDAR_READER_BINARY, 0) == 0;
}();
}  // namespace
