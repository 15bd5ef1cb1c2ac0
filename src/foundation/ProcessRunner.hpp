#pragma once

#include <string>
#include <vector>

namespace veltrano {

// How a child process ended.
struct ProcessOutcome {
  bool started = false;  // false when the program could not be run at all
  int exitStatus = -1;   // exit code; non-zero also for a child killed by a signal
  std::string standardOutput;
};

// Runs argv[0] (looked up on the search path) with the given arguments, without a shell, and
// waits for it to end. Standard output is captured, standard error discarded. Never throws for
// a program that cannot be started; that is reported as started == false.
// Starts a child process: the caller must not hold the store lock.
ProcessOutcome runProcess(const std::vector<std::string>& argv);

}  // namespace veltrano
