#include "domain/CalendarFile.hpp"

#include <spdlog/spdlog.h>

#include <filesystem>
#include <stdexcept>

#include "domain/CalendarReaderAnswer.hpp"
#include "foundation/HostPlatform.hpp"
#include "foundation/LimitedProcess.hpp"

namespace veltrano {
namespace {

namespace fs = std::filesystem;

constexpr const char* READER_NAME = "veltrano-calendar-reader";
// Another reader program, for tests and builds that keep it elsewhere.
constexpr const char* READER_VARIABLE = "VELTRANO_CALENDAR_READER";

// Beside the program in a build directory; in the package's libexec folder once installed.
fs::path readerProgram() {
  if (auto chosen = environmentPath(READER_VARIABLE); chosen && !chosen->empty())
    return *chosen;
  const fs::path directory = currentExecutablePath().parent_path();
  fs::path beside = directory / READER_NAME;
  std::error_code error;
  if (fs::exists(beside, error))
    return beside;
  return directory.parent_path() / "libexec" / "veltrano-player" / READER_NAME;
}

std::invalid_argument tooComplex() {
  return std::invalid_argument("The calendar file is too complex to read");
}

}  // namespace

std::vector<CalendarFileEvent> readCalendarFile(std::string_view text, const Date& from,
                                                const Date& to) {
  if (text.size() > MAX_CALENDAR_FILE_BYTES) {
    throw std::invalid_argument("The calendar file is too large (at most " +
                                std::to_string(MAX_CALENDAR_FILE_BYTES / 1024) + " KiB)");
  }
  const fs::path program = readerProgram();
  auto outcome = runLimitedProcess(program, {from.asString(), to.asString()}, text);
  using End = LimitedProcessOutcome::End;
  // 126 and 127: the program was found but could not run (a library missing, say).
  if (outcome.end == End::NOT_STARTED ||
      (outcome.end == End::EXITED && (outcome.exitStatus == 126 || outcome.exitStatus == 127))) {
    spdlog::error("Cannot run the calendar file reader " + program.string());
    throw std::runtime_error("Calendar files cannot be read: the reader program is missing");
  }
  if (outcome.end != End::EXITED || (outcome.exitStatus != 0 && outcome.exitStatus != 2))
    throw tooComplex();
  CalendarReaderAnswer answer = decodeCalendarReaderAnswer(outcome.output);
  if (answer.refusal)
    throw std::invalid_argument(*answer.refusal);
  return answer.events;
}

}  // namespace veltrano
