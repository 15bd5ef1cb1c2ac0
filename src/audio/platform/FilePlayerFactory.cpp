#include "audio/platform/FilePlayerFactory.hpp"

#ifdef _WIN32
#include "audio/platform/WindowsFilePlayer.hpp"
#include "audio/platform/win32/WinmmMciApi.hpp"
#else
#include "audio/platform/posix/LinuxFilePlayer.hpp"
#endif

namespace veltrano {

FilePlayerFactory platformFilePlayerFactory(std::shared_ptr<const std::string> audioDevice) {
#ifdef _WIN32
  (void)audioDevice;
  auto api = std::make_shared<WinmmMciApi>();
  auto counter = std::make_shared<WindowsFilePlayer::AliasCounter>(0);
  return [api, counter]() -> std::unique_ptr<FilePlayer> {
    return std::make_unique<WindowsFilePlayer>(api, counter);
  };
#else
  return [audioDevice]() -> std::unique_ptr<FilePlayer> {
    return std::make_unique<LinuxFilePlayer>(audioDevice ? *audioDevice : std::string());
  };
#endif
}

}  // namespace veltrano
