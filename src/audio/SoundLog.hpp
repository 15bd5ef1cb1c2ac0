#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "domain/Clock.hpp"
#include "domain/Date.hpp"
#include "foundation/Json.hpp"

namespace veltrano {

// What asked for a sound.
enum class SoundSource {
  LESSON_START,
  LESSON_END,
  PRE_START,
  PRE_END,
  CUSTOM_PLAY,
  PROGRAMME,
  ALARM,
  SIGNAL,        // a signal played by hand
  SONG,          // a song played by hand
  ANNOUNCEMENT,  // an announcement played by hand
  TIMETABLE,     // a whole day's timetable bells (one that is missing)
};
std::string_view soundSourceName(SoundSource source) noexcept;

// Why a sound is started: the source, and for scheduled sounds the timetable and the second
// it was due.
struct SoundCause {
  SoundSource source = SoundSource::SIGNAL;
  std::string timetableId;
  std::optional<ClockValue> due;
};

// One sound start, or one due sound that was not started, as the log keeps it.
struct SoundEntry {
  SoundCause cause;
  std::optional<long long> startedMs;  // epoch milliseconds its player started; none if failed
  std::string signalId;
  std::string name;
  std::optional<std::string> failure;  // the reason it did not start
  std::optional<std::string> skipped;  // the reason a due sound was not even tried
  // Epoch milliseconds a start failed; stamped when recorded, so that a failure by hand, which
  // was due at no second, still says when it happened.
  std::optional<long long> failedMs = std::nullopt;

  // The log's line: due, started, lateMs (when both are known), source, timetable, signalId,
  // name, outcome ("started", "failed" or "skipped"), reason (unless started) and failedAt
  // (when it failed).
  Json toJson() const;
};

// Sound starts kept before they are written; beyond it new ones are dropped (and said so).
inline constexpr std::size_t MAX_QUEUED_SOUNDS = 10000;
// Days a day's file is kept.
inline constexpr int SOUND_LOG_KEEP_DAYS = 400;
// The most entries a day's query answers (the last ones of the day).
inline constexpr std::size_t MAX_ENTRIES_PER_QUERY = 10000;
// A longer line is skipped like a line cut short, without being read whole.
inline constexpr std::size_t MAX_LOG_LINE_BYTES = 64 * 1024;

// The log of every sound start: one file a day ("YYYY-MM-DD.jsonl", one JSON object a line)
// in its directory, kept SOUND_LOG_KEEP_DAYS days. Recording only queues the entry; a thread
// of its own writes it, so a slow or failing disk never delays a bell or holds a lock of the
// caller's. A file that cannot be written is reported once, until a write succeeds again.
// Thread-safe.
class SoundLog {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;
  // Told of each entry on the log's own thread, after it is written; must be quick.
  using Listener = std::function<void(const SoundEntry&)>;

  explicit SoundLog(std::filesystem::path directory,
                    WallClock wallClock = std::chrono::system_clock::now);
  // Writes what is queued, then ends the writer.
  ~SoundLog();
  SoundLog(const SoundLog&) = delete;
  SoundLog& operator=(const SoundLog&) = delete;

  // Now, in epoch milliseconds, by the log's clock.
  long long nowMs() const;
  void record(SoundEntry entry) noexcept;
  void addListener(Listener listener);

  // The day's entries in order (the last MAX_ENTRIES_PER_QUERY of them), once what was
  // recorded before the call is written.
  Json entriesOf(const Date& day);
  // The newest entry (also from an earlier run), or null.
  Json lastSound() const;

  // The file of a day.
  std::filesystem::path fileOf(const Date& day) const;

 private:
  void run(const std::stop_token& stop);
  void write(const SoundEntry& entry) noexcept;
  void tellListeners(const SoundEntry& entry) noexcept;
  void removeOldFiles(const Date& today) noexcept;
  // The day an entry is filed under: the day it was due, else the day it started.
  Date dayOf(const SoundEntry& entry) const;
  Json newestOnDisk() const;

  const std::filesystem::path directory_;
  const WallClock wallClock_;

  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<SoundEntry> queue_;  // protected by mutex_
  std::uint64_t recorded_ = 0;    // protected by mutex_: entries ever queued
  std::uint64_t written_ = 0;     // protected by mutex_: entries the writer is done with
  bool droppedReported_ = false;  // protected by mutex_
  Json last_;                     // protected by mutex_

  std::mutex listenersMutex_;
  std::vector<Listener> listeners_;  // protected by listenersMutex_

  // The writer's own state.
  bool failureReported_ = false;
  std::optional<Date> prunedOn_;

  std::jthread writer_;  // last: joined before the members it uses go
};

}  // namespace veltrano
