#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/Player.hpp"
#include "audio/SoundLog.hpp"
#include "foundation/Paths.hpp"
#include "storage/Database.hpp"

namespace veltrano {

// Plays audio assets by their id in the database: built-in signals from the asset directory,
// everything else from the user data directory; programmed announcements with their lead-in
// signal. Every call reads the database the caller passes, so the caller holds the store lock;
// the calls only start playback threads and never wait for sound.
//
// With a sound log, every start is logged with its cause: started when its player started,
// failed with the reason when it could not (an unknown id, a missing file, a failing player).
class SongPlayback {
 public:
  SongPlayback(Player& player, const Paths& paths, SoundLog* log = nullptr)
      : player_(player), paths_(paths), log_(log) {}

  std::string getSongAssetPath(const AudioAsset& song) const;
  // std::out_of_range (KeyError) when id is not a key of db.songs.
  std::string getSongAssetPathById(const DB& db, const std::string& id) const;

  // Null when id is "NULL" or the file is missing; KeyError for an unknown id.
  std::shared_ptr<PlayerThread> playSongById(const DB& db, const std::string& id, int count = 1,
                                             double delay = 0.0, const SoundCause& cause = {});
  std::shared_ptr<PlayerThread> playSongByDescriptor(const DB& db, const PlayDesc& desc,
                                                     const SoundCause& cause = {});
  // Logs a due sound that is not started, with the reason; the signal's name when it is known.
  void recordSkipped(const DB& db, const std::string& id, const SoundCause& cause,
                     std::string_view reason);

  // The file each of the songs starts with (an announcement's lead-in signal when it has one);
  // an unknown id or "NULL" has none.
  std::vector<std::string> firstFilesOf(const DB& db, const std::vector<std::string>& ids) const;

  // The announcement signal (when it exists), then the announcement at path, in one playback.
  // name is what the log calls it (a spoken announcement's text); the file's name if empty.
  std::shared_ptr<PlayerThread> playAnnouncement(const DB& db, const std::string& path,
                                                 const std::string& name = "");

  Player& player() noexcept { return player_; }

 private:
  using Start = std::function<std::shared_ptr<PlayerThread>(PlaybackReport)>;
  // Runs start with a report that logs the entry; logs a start that fails at once.
  std::shared_ptr<PlayerThread> startLogged(SoundEntry entry, const std::string& path,
                                            const Start& start);
  std::shared_ptr<PlayerThread> playAnnouncementFile(const DB& db, const std::string& path,
                                                     SoundEntry entry);

  Player& player_;
  const Paths& paths_;
  SoundLog* const log_;  // may be null: nothing is logged
};

}  // namespace veltrano
