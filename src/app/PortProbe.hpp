#pragma once

namespace veltrano {

// True when a TCP connection to 127.0.0.1:port succeeds, that is when some program listens.
bool isPortUsed(int port) noexcept;

// True when the program listening on 127.0.0.1:port answers /whoami with this program's
// identity within a second. A refused, silent or malformed answer is false.
bool isPortUsedByUs(int port);

}  // namespace veltrano
