#include "remote/NetworkState.hpp"

#include <stdexcept>
#include <string>

namespace veltrano {

std::string_view toString(NetworkState state) noexcept {
  switch (state) {
    case NetworkState::OK:
      return "ok";
    case NetworkState::ERROR:
      return "error";
    case NetworkState::UNKNOWN:
      break;
  }
  return "unknown";
}

NetworkState networkStateFromString(std::string_view text) {
  for (auto state : {NetworkState::UNKNOWN, NetworkState::OK, NetworkState::ERROR}) {
    if (toString(state) == text) {
      return state;
    }
  }
  throw std::invalid_argument("Invalid NetworkState: " + std::string(text));
}

}  // namespace veltrano
