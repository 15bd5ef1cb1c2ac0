#pragma once

namespace veltrano {

// One process-wide log that prints the bare message; DEBUG when verbose, INFO otherwise.
void configureLogging(bool verbose);

}  // namespace veltrano
