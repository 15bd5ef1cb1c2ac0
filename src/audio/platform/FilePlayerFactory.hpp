#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// Readies the sound output for the files due to start in the next second (none: nothing is
// due), so that each sounds the moment its player is asked for it. Returns at once; called
// once a second by the scheduler.
using FilePlayerWarmUp = std::function<void(const std::vector<std::string>& paths)>;

// The platform's file players with their warm-up. On Linux the warm-up starts, per player
// program and device, a player that waits for its file; the first file of a playback goes to
// it. Windows needs none: its warm-up does nothing.
struct PlatformFilePlayers {
  FilePlayerFactory factory;
  FilePlayerWarmUp warmUp;
};
PlatformFilePlayers platformFilePlayers(std::shared_ptr<const std::string> audioDevice = nullptr);

}  // namespace veltrano
