#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <thread>

#include "audio/SoundLog.hpp"
#include "foundation/ClockDiscipline.hpp"
#include "remote/Alerts.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// Raises the alerts of what goes wrong unseen: a due bell that failed (told by the sound log),
// a clock no time service keeps right, store files that cannot be saved, and a start after
// the program ended without shutting down (a crash, a power loss, a forced end), which a
// marker file left behind tells.
class HealthWatch {
 public:
  using DisciplineReader = std::function<std::optional<ClockDiscipline>()>;

  static constexpr std::chrono::seconds CHECK_INTERVAL{15};
  // A clock that has just booted needs a while to reach its time server.
  static constexpr std::chrono::minutes UNSYNCHRONISED_GRACE{5};

  HealthWatch(Stores& stores, Alerts& alerts, std::filesystem::path runningMarker,
              DisciplineReader readDiscipline = readClockDiscipline);
  ~HealthWatch();
  HealthWatch(const HealthWatch&) = delete;
  HealthWatch& operator=(const HealthWatch&) = delete;

  // A sound log listener.
  void onSound(const SoundEntry& entry);
  // Raises restartedAfterFailure when the marker is still there, leaves it for this run, and
  // starts the periodic checks.
  void start();
  // Ends the checks and removes the marker: this run ended cleanly.
  void stop() noexcept;

  // One round of the periodic checks, at the given time.
  void check(std::chrono::steady_clock::time_point now);

 private:
  void run(const std::stop_token& stop);

  Stores& stores_;
  Alerts& alerts_;
  const std::filesystem::path runningMarker_;
  const DisciplineReader readDiscipline_;
  // The checking thread's own: since when the clock has been found unsynchronised.
  std::optional<std::chrono::steady_clock::time_point> unsynchronisedSince_;
  std::jthread checker_;
};

}  // namespace veltrano
