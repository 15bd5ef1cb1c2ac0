// The calendar reader: reads an iCalendar file on standard input and writes the events from
// FROM to TO (both YYYY-MM-DD) as a JSON answer on standard output. The player runs it for
// every uploaded calendar file, so that the calendar library's unbounded parts run under
// this process's limits and never in the player.
//
//   veltrano-calendar-reader FROM TO < file.ics
//
// Exit status 0 with the events, 2 with the reason the file is refused, 3 when the file
// needs more memory than the limit allows; any other end counts as a file too complex.

#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "calendarreader/CalendarFileParser.hpp"
#include "calendarreader/ReaderLimits.hpp"
#include "domain/CalendarReaderAnswer.hpp"

namespace {

constexpr int REFUSED = 2;
constexpr int OUT_OF_MEMORY = 3;
constexpr int FAILED = 4;

// At most one byte more than a file may have, so that a longer one is still refused by size.
std::string readInput() {
  std::string input;
  char buffer[65536];
  while (input.size() <= veltrano::MAX_CALENDAR_FILE_BYTES) {
    ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (count == 0)
      break;
    if (count < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    input.append(buffer, static_cast<std::size_t>(count));
  }
  return input;
}

bool writeAll(std::string_view text) {
  while (!text.empty()) {
    ssize_t count = ::write(STDOUT_FILENO, text.data(), text.size());
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return false;
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace veltrano;
  try {
    limitReaderResources();
    if (argc != 3)
      return FAILED;
    const Date from = Date::decode(argv[1]);
    const Date to = Date::decode(argv[2]);
    const std::string input = readInput();
    // Local time is what the player's clock reads; loaded while files can still be opened.
    ::tzset();
    loadZonesNamedIn(input);
    closeReaderToTheOutside();
    CalendarReaderAnswer answer;
    int status = 0;
    try {
      answer.events = parseCalendarFile(input, from, to);
    } catch (const std::invalid_argument& e) {
      answer.refusal = e.what();
      status = REFUSED;
    }
    return writeAll(encodeCalendarReaderAnswer(answer)) ? status : FAILED;
  } catch (const std::bad_alloc&) {
    return OUT_OF_MEMORY;
  } catch (const std::exception&) {
    return FAILED;
  }
}
