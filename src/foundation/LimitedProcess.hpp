#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

// The parent's side of the limits on a helper program that reads untrusted input; the
// helper sets its own CPU and memory limits before it reads.
struct LimitedProcessLimits {
  std::chrono::milliseconds wallClock{3000};
  std::size_t maxOutputBytes = 2 * 1024 * 1024;
};

struct LimitedProcessOutcome {
  enum class End {
    EXITED,       // ended by itself: exitStatus and output hold what it gave
    NOT_STARTED,  // the program could not be run at all
    KILLED,       // out of time, too much output, a limit of its own, or the process is ending
  };
  End end = End::NOT_STARTED;
  int exitStatus = -1;
  std::string output;
};

// Runs program (a path, not looked up) with the arguments, writes input to its standard
// input and collects its standard output; standard error is discarded. The child is killed
// when the wall-clock limit passes or it writes more than the output limit. Never throws for
// a program that cannot be started. Starts a child process: the caller must not hold the
// store lock.
LimitedProcessOutcome runLimitedProcess(const std::filesystem::path& program,
                                        const std::vector<std::string>& arguments,
                                        std::string_view input,
                                        const LimitedProcessLimits& limits = {});

// Kills every child that runLimitedProcess waits for right now, so that a request busy with
// one never holds up the end of the process. The children are the process's own, so this
// reaches those of every caller.
void killLimitedProcesses() noexcept;

}  // namespace veltrano
