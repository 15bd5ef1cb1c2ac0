#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "audio/SoundLog.hpp"

namespace veltrano {

// Counts of the sound log's entries since the program started, for monitoring: sounds by
// source and outcome, due sounds by source, and how late due sounds started. Thread-safe.
class SoundStatistics {
 public:
  // Upper bounds of the lateness buckets, in seconds.
  static constexpr std::array<double, 12> LATENESS_BOUNDS{0.001, 0.002, 0.005, 0.01, 0.02, 0.05,
                                                          0.1,   0.25,  0.5,   1.0,  2.5,  5.0};

  struct Counts {
    // (source, outcome) → sounds; every pair present from the start, so rates begin at zero.
    std::map<std::pair<std::string, std::string>, std::uint64_t> sounds;
    // source → sounds that were due at a second (bells, programmes, the alarm)
    std::map<std::string, std::uint64_t> due;
    // Started due sounds by lateness: bucket i counts those at most LATENESS_BOUNDS[i] late
    // (not cumulative); the last one those later than every bound.
    std::array<std::uint64_t, LATENESS_BOUNDS.size() + 1> lateness{};
    double latenessSumSeconds = 0;
    std::uint64_t latenessCount = 0;
  };

  SoundStatistics();

  // A sound log listener.
  void count(const SoundEntry& entry) noexcept;
  Counts counts() const;

 private:
  mutable std::mutex mutex_;
  Counts counts_;  // protected by mutex_
};

}  // namespace veltrano
