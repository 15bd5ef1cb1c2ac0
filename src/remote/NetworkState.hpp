#pragma once

#include <string_view>

namespace veltrano {

// Whether the remote service answered the most recent request.
enum class NetworkState {
  UNKNOWN,  // no request yet
  OK,       // an HTTP reply came back, whatever its status
  ERROR,    // the request or the decoding of its reply failed
};

// "unknown", "ok" or "error": the stored and reported form.
std::string_view toString(NetworkState state) noexcept;

// The inverse of toString; throws std::invalid_argument for any other text.
NetworkState networkStateFromString(std::string_view text);

}  // namespace veltrano
