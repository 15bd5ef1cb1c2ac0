#pragma once

#include <functional>
#include <memory>
#include <string>

#include "audio/platform/FilePlayer.hpp"

namespace veltrano {

// Makes a fresh file player for each playback thread; tests hand in fakes.
using FilePlayerFactory = std::function<std::unique_ptr<FilePlayer>()>;

// The file player of the platform this program was built for. All players made by one factory
// share their device numbering. audioDevice, read as each player is made, names the sound
// output on Linux (an ALSA name; empty or null for the players' default); Windows plays on its
// default device.
FilePlayerFactory platformFilePlayerFactory(
    std::shared_ptr<const std::string> audioDevice = nullptr);

}  // namespace veltrano
