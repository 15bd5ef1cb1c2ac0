#pragma once

namespace veltrano {

// Limits the reader program sets on itself before it reads the file, so that no input can
// keep it busy or let it grow: 2 s of CPU, 256 MiB of address space, no child processes, no
// files written, no core dumps. Throws std::runtime_error when a limit cannot be set.
void limitReaderResources();

// Leaves the process unable to open any descriptor: no file, no socket, no network. Call
// after the input is read and every file the parser needs is loaded.
void closeReaderToTheOutside();

}  // namespace veltrano
