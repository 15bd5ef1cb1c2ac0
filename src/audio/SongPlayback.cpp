#include "audio/SongPlayback.hpp"

#include <exception>
#include <filesystem>

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
                                                         int count, double delay,
                                                         const SoundCause& cause) {
  if (id == "NULL")
    return nullptr;
  SoundEntry entry{cause, std::nullopt, id, "", std::nullopt, std::nullopt};
  const AudioAsset* song = db.songs.find(id);
  if (song == nullptr) {
    entry.failure = "unknown signal";
    if (log_)
      log_->record(entry);
    throw KeyError(id);
  }
  entry.name = song->name;
  std::string path = getSongAssetPath(*song);
  if (song->storageCategory == AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT) {
    return playAnnouncementFile(db, path, std::move(entry));
  }
  return startLogged(std::move(entry), path, [&](PlaybackReport report) {
    return player_.playAudioFile(path, count, delay, std::move(report));
  });
}

std::shared_ptr<PlayerThread> SongPlayback::playSongByDescriptor(const DB& db, const PlayDesc& desc,
                                                                 const SoundCause& cause) {
  if (desc.doRepeat)
    return playSongById(db, desc.id, desc.iterations, desc.delaySec, cause);
  return playSongById(db, desc.id, 1, 0.0, cause);
}

std::vector<std::string> SongPlayback::firstFilesOf(const DB& db,
                                                    const std::vector<std::string>& ids) const {
  std::vector<std::string> files;
  for (const std::string& id : ids) {
    const AudioAsset* song = db.songs.find(id);
    if (song == nullptr)
      continue;
    const AudioAsset* signal = db.songs.find(db.settings.announcementSignalId);
    if (song->storageCategory == AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT && signal != nullptr)
      song = signal;
    files.push_back(getSongAssetPath(*song));
  }
  return files;
}

void SongPlayback::recordSkipped(const DB& db, const std::string& id, const SoundCause& cause,
                                 std::string_view reason) {
  if (!log_)
    return;
  const AudioAsset* song = db.songs.find(id);
  SoundEntry entry{cause,        std::nullopt,       id == "NULL" ? "" : id, song ? song->name : "",
                   std::nullopt, std::string(reason)};
  log_->record(std::move(entry));
}

std::shared_ptr<PlayerThread> SongPlayback::playAnnouncement(const DB& db, const std::string& path,
                                                             const std::string& name) {
  SoundEntry entry{SoundCause{SoundSource::ANNOUNCEMENT, "", std::nullopt},
                   std::nullopt,
                   "",
                   name.empty() ? std::filesystem::path(path).filename().string() : name,
                   std::nullopt,
                   std::nullopt};
  return playAnnouncementFile(db, path, std::move(entry));
}

std::shared_ptr<PlayerThread> SongPlayback::playAnnouncementFile(const DB& db,
                                                                 const std::string& path,
                                                                 SoundEntry entry) {
  std::vector<std::string> queue;
  const std::string& signalId = db.settings.announcementSignalId;
  if (db.songs.contains(signalId))
    queue.push_back(getSongAssetPathById(db, signalId));
  queue.push_back(path);
  return startLogged(std::move(entry), path, [&](PlaybackReport report) {
    return player_.playAudioQueue(std::move(queue), 0.0, std::move(report));
  });
}

std::shared_ptr<PlayerThread> SongPlayback::startLogged(SoundEntry entry, const std::string& path,
                                                        const Start& start) {
  if (!log_)
    return start({});
  PlaybackReport report = [log = log_, entry](const std::optional<std::string>& failure) {
    SoundEntry heard = entry;
    if (failure && *failure == RAN_PAST_ITS_LENGTH)
      heard.failure = *failure;
    else if (failure)
      heard.failure = "player failed: " + *failure;
    else
      heard.startedMs = log->nowMs();
    log->record(std::move(heard));
  };
  std::shared_ptr<PlayerThread> started;
  try {
    started = start(std::move(report));
  } catch (const std::exception& e) {
    entry.failure = std::string("not started: ") + e.what();
    log_->record(std::move(entry));
    throw;
  }
  if (!started) {
    entry.failure = "missing file: " + std::filesystem::path(path).filename().string();
    log_->record(std::move(entry));
  }
  return started;
}

}  // namespace veltrano
