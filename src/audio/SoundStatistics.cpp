#include "audio/SoundStatistics.hpp"

#include <algorithm>

#include "domain/LocalSecond.hpp"

namespace veltrano {
namespace {

constexpr std::array ALL_SOURCES{
    SoundSource::LESSON_START, SoundSource::LESSON_END,  SoundSource::PRE_START,
    SoundSource::PRE_END,      SoundSource::CUSTOM_PLAY, SoundSource::PROGRAMME,
    SoundSource::ALARM,        SoundSource::SIGNAL,      SoundSource::SONG,
    SoundSource::ANNOUNCEMENT, SoundSource::TIMETABLE};
constexpr std::array<const char*, 3> OUTCOMES{"started", "failed", "skipped"};

const char* outcomeOf(const SoundEntry& entry) {
  return entry.skipped ? "skipped" : entry.failure ? "failed" : "started";
}

}  // namespace

SoundStatistics::SoundStatistics() {
  for (SoundSource source : ALL_SOURCES) {
    const std::string name(soundSourceName(source));
    for (const char* outcome : OUTCOMES)
      counts_.sounds[{name, outcome}] = 0;
    counts_.due[name] = 0;
  }
}

void SoundStatistics::count(const SoundEntry& entry) noexcept {
  try {
    const std::string source(soundSourceName(entry.cause.source));
    std::lock_guard lock(mutex_);
    ++counts_.sounds[{source, outcomeOf(entry)}];
    if (!entry.cause.due)
      return;
    ++counts_.due[source];
    if (!entry.startedMs)
      return;
    // A clock step can make a start look early; it counts as on time.
    const double late = std::max(
        0.0, static_cast<double>(*entry.startedMs - epochMillisOfLocal(*entry.cause.due)) / 1000.0);
    const auto bucket = std::lower_bound(LATENESS_BOUNDS.begin(), LATENESS_BOUNDS.end(), late) -
                        LATENESS_BOUNDS.begin();
    ++counts_.lateness[static_cast<std::size_t>(bucket)];
    counts_.latenessSumSeconds += late;
    ++counts_.latenessCount;
  } catch (...) {
    // Monitoring never disturbs the log.
  }
}

SoundStatistics::Counts SoundStatistics::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

}  // namespace veltrano
