#include "audio/Alarm.hpp"

namespace veltrano {

void Alarm::toggle(const DB& db) {
  std::lock_guard lock(mutex_);
  if (thread_) {
    thread_->abortPlay();
    thread_.reset();
    return;
  }
  thread_ = songs_.playSongById(db, db.settings.alarmSignalId, INFINITE_REPEAT,
                                db.settings.alarmDelaySec);
}

bool Alarm::isActive() const {
  std::lock_guard lock(mutex_);
  return thread_ != nullptr;
}

}  // namespace veltrano
