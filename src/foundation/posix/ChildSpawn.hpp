#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace veltrano {

// Starts argv[0], looked up on the search path, with the given arguments and no shell; its
// standard input, output and error are the given descriptors (-1: inherited). The child gets
// no other descriptor of this process, default handling of every signal this process catches
// and of the termination signals, and an empty signal mask, so SIGTERM always ends it.
//
// The child is killed (SIGKILL) when the thread that started it ends, and with it this whole
// process however it ends (kill -9 included): a player must never outlive the program. So the
// thread that starts a child must outlive every use of it.
//
// Throws std::system_error when the program cannot be found or executed. Linux only.
pid_t spawnChild(const std::vector<std::string>& argv, int stdoutFd = -1, int stderrFd = -1,
                 int stdinFd = -1);

}  // namespace veltrano
