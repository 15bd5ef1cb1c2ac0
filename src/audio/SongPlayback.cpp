#include "audio/SongPlayback.hpp"

namespace veltrano {

std::string SongPlayback::getSongAssetPath(const AudioAsset& song) const {
  if (song.storageCategory == AudioAssetCategory::BUILT_IN_SIGNAL) {
    return paths_.getAssetPath(song.filename).string();
  }
  return paths_.getUserFilePath(song.filename).string();
}

std::string SongPlayback::getSongAssetPathById(const DB& db, const std::string& id) const {
  return getSongAssetPath(db.songs.get(id));
}

std::shared_ptr<PlayerThread> SongPlayback::playSongById(const DB& db, const std::string& id,
                                                         int count, double delay) {
  if (id == "NULL") return nullptr;
  const AudioAsset& song = db.songs.get(id);
  std::string path = getSongAssetPath(song);
  if (song.storageCategory == AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT) {
    return playAnnouncement(db, path);
  }
  return player_.playAudioFile(path, count, delay);
}

std::shared_ptr<PlayerThread> SongPlayback::playSongByDescriptor(const DB& db,
                                                                 const PlayDesc& desc) {
  if (desc.doRepeat) return playSongById(db, desc.id, desc.iterations, desc.delaySec);
  return playSongById(db, desc.id);
}

std::shared_ptr<PlayerThread> SongPlayback::playAnnouncement(const DB& db,
                                                             const std::string& path) {
  std::vector<std::string> queue;
  const std::string& signalId = db.settings.announcementSignalId;
  if (db.songs.contains(signalId)) queue.push_back(getSongAssetPathById(db, signalId));
  queue.push_back(path);
  return player_.playAudioQueue(std::move(queue));
}

}  // namespace veltrano
