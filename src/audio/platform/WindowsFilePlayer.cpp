#include "audio/platform/WindowsFilePlayer.hpp"

#include <spdlog/spdlog.h>

#include <stdexcept>
#include <utility>

namespace veltrano {

WindowsFilePlayer::WindowsFilePlayer(std::shared_ptr<MciApi> api,
                                     std::shared_ptr<AliasCounter> counter)
    : api_(std::move(api)), counter_(std::move(counter)) {}

std::string WindowsFilePlayer::winCommand(MciApi& api, const std::string& command) {
  std::string reply;
  std::uint32_t code = api.sendString(command, reply);
  if (code == 0) {
    return reply;
  }
  std::string message = "\n    Error " + std::to_string(code) + " for command:\n        " +
                        command + "\n    " + api.getErrorString(code);
  spdlog::error("{}", message);
  throw std::runtime_error(message);
}

void WindowsFilePlayer::startPlay(const std::string& path) {
  // The number is used up even when the open fails.
  alias_ = "veltranoSong" + std::to_string(counter_->fetch_add(1));
  winCommand(*api_, "open \"" + path + "\" alias " + alias_);
  try {
    winCommand(*api_, "play " + alias_);
  } catch (...) {
    try {
      winCommand(*api_, "close " + alias_);
    } catch (const std::exception&) {
      // Already logged; the play failure is the one the caller needs to see.
    }
    throw;
  }
}

bool WindowsFilePlayer::isPlaying() {
  return winCommand(*api_, "status " + alias_ + " mode") == "playing";
}

void WindowsFilePlayer::closeFile(bool /*wasAborted*/) {
  winCommand(*api_, "close " + alias_);
}

}  // namespace veltrano
