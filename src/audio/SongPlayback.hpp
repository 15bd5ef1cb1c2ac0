#pragma once

#include "audio/Player.hpp"
#include "foundation/Paths.hpp"
#include "storage/Database.hpp"

#include <memory>
#include <string>

namespace veltrano {

// Plays audio assets by their id in the database: built-in signals from the asset directory,
// everything else from the user data directory; programmed announcements with their lead-in
// signal. Every call reads the database the caller passes, so the caller holds the store lock;
// the calls only start playback threads and never wait for sound.
class SongPlayback {
 public:
  SongPlayback(Player& player, const Paths& paths) : player_(player), paths_(paths) {}

  std::string getSongAssetPath(const AudioAsset& song) const;
  // std::out_of_range (KeyError) when id is not a key of db.songs.
  std::string getSongAssetPathById(const DB& db, const std::string& id) const;

  // Null when id is "NULL" or the file is missing; KeyError for an unknown id.
  std::shared_ptr<PlayerThread> playSongById(const DB& db, const std::string& id, int count = 1,
                                             double delay = 0.0);
  std::shared_ptr<PlayerThread> playSongByDescriptor(const DB& db, const PlayDesc& desc);
  // The announcement signal (when it exists), then the announcement, in one playback.
  std::shared_ptr<PlayerThread> playAnnouncement(const DB& db, const std::string& path);

  Player& player() noexcept { return player_; }

 private:
  Player& player_;
  const Paths& paths_;
};

}  // namespace veltrano
