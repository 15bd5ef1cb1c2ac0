#pragma once

#include <httplib.h>

namespace veltrano {

// Options of the server's listening socket: a restarted program may take its port back at
// once, but no second program may listen on a port that one is using (which would split the
// requests between two instances and defeat the single-instance check).
void configureListeningSocket(socket_t socket) noexcept;

}  // namespace veltrano
