#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/platform/FilePlayer.hpp"
#include "audio/platform/MciApi.hpp"

namespace veltrano {

// Plays a file through MCI command strings of winmm, one device alias per opened file.
class WindowsFilePlayer final : public FilePlayer {
 public:
  // Numbers the device aliases; shared by every player of the process, because MCI aliases
  // are process-wide and two players must never open the same one.
  using AliasCounter = std::atomic<std::uint64_t>;

  WindowsFilePlayer(std::shared_ptr<MciApi> api, std::shared_ptr<AliasCounter> counter);

  // Opens the file under a fresh alias and plays it. If playing fails, the device is closed
  // again so failed files do not pile up open devices.
  void startPlay(const std::string& path) override;
  // True while the device reports "playing".
  bool isPlaying() override;
  // Closes the device, which also stops a sound still playing.
  void closeFile(bool wasAborted) override;

  // Sends one command; on a non-zero code logs and throws the multi-line MCI error message.
  static std::string winCommand(MciApi& api, const std::string& command);

  // The alias of the file opened last ("veltranoSong<n>"), empty before the first start.
  const std::string& alias() const noexcept { return alias_; }

 private:
  std::shared_ptr<MciApi> api_;
  std::shared_ptr<AliasCounter> counter_;
  std::string alias_;
};

}  // namespace veltrano
