#include "audio/Alarm.hpp"

#include <stdexcept>

namespace veltrano {

void Alarm::toggle(const DB& db) {
  std::lock_guard lock(mutex_);
  if (thread_) {
    thread_->abortPlay();
    thread_.reset();
    return;
  }
  thread_ =
      songs_.playSongById(db, db.settings.alarmSignalId, INFINITE_REPEAT, db.settings.alarmDelaySec,
                          SoundCause{SoundSource::ALARM, "", std::nullopt});
}

bool Alarm::setActive(const DB& db, bool active) {
  std::lock_guard lock(mutex_);
  if (!active) {
    if (thread_)
      thread_->abortPlay();
    thread_.reset();
    return false;
  }
  if (thread_ && thread_->isAlive() && !thread_->doAbort())
    return true;
  thread_ =
      songs_.playSongById(db, db.settings.alarmSignalId, INFINITE_REPEAT, db.settings.alarmDelaySec,
                          SoundCause{SoundSource::ALARM, "", std::nullopt});
  if (!thread_) {
    throw std::runtime_error(
        "The alarm signal cannot be played (none is chosen, or its file is missing); choose "
        "another alarm signal under Settings");
  }
  return true;
}

bool Alarm::isActive() const {
  std::lock_guard lock(mutex_);
  return thread_ != nullptr;
}

}  // namespace veltrano
