#pragma once

#include <functional>
#include <memory>

#include "audio/platform/FilePlayer.hpp"

namespace veltrano {

// Makes a fresh file player for each playback thread; tests hand in fakes.
using FilePlayerFactory = std::function<std::unique_ptr<FilePlayer>()>;

// The file player of the platform this program was built for. All players made by one factory
// share their device numbering.
FilePlayerFactory platformFilePlayerFactory();

}  // namespace veltrano
