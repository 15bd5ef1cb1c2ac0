#include "audio/platform/FilePlayerFactory.hpp"

#ifdef _WIN32
#include "audio/platform/WindowsFilePlayer.hpp"
#include "audio/platform/win32/WinmmMciApi.hpp"
#else
#include "audio/platform/posix/LinuxFilePlayer.hpp"
#include "audio/platform/posix/ReadyPlayers.hpp"
#endif

#include <utility>

namespace veltrano {

PlatformFilePlayers platformFilePlayers(std::shared_ptr<const std::string> audioDevice) {
#ifdef _WIN32
  (void)audioDevice;
  auto api = std::make_shared<WinmmMciApi>();
  auto counter = std::make_shared<WindowsFilePlayer::AliasCounter>(0);
  return {[api, counter]() -> std::unique_ptr<FilePlayer> {
            return std::make_unique<WindowsFilePlayer>(api, counter);
          },
          [](const std::vector<std::string>&) {}};
#else
  auto ready = std::make_shared<ReadyPlayers>();
  auto deviceOf = [audioDevice] { return audioDevice ? *audioDevice : std::string(); };
  return {[ready, deviceOf]() -> std::unique_ptr<FilePlayer> {
            return std::make_unique<LinuxFilePlayer>(deviceOf(), ready);
          },
          [ready, deviceOf](const std::vector<std::string>& paths) {
            std::vector<std::vector<std::string> > commands;
            const std::string device = deviceOf();
            for (const std::string& path : paths) {
              if (auto command = LinuxFilePlayer::commandFor(path, device))
                commands.push_back(std::move(*command));
            }
            ready->prepare(commands);
          }};
#endif
}

FilePlayerFactory platformFilePlayerFactory(std::shared_ptr<const std::string> audioDevice) {
  return platformFilePlayers(std::move(audioDevice)).factory;
}

}  // namespace veltrano
