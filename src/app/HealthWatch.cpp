#include "app/HealthWatch.hpp"

#include <spdlog/spdlog.h>

#include <array>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <system_error>

#include "http/Targets.hpp"

namespace veltrano {
namespace {

std::string dueText(const ClockValue& due) {
  std::array<char, 12> text{};
  std::snprintf(text.data(), text.size(), "%02d:%02d:%02d", due.tm_hour, due.tm_min, due.tm_sec);
  return text.data();
}

// The first store that cannot be saved, described; nothing while saves succeed.
std::optional<std::string> saveProblem(Stores& stores) {
  // Only reads: a plain lock() would count as a change and make the autosave rehash.
  auto access = stores.lockForRound();
  const Json error = firstSaveError(access);
  if (error.is_null())
    return std::nullopt;
  return "Changes cannot be saved to " + error["store"].get<std::string>() + " since " +
         error["since"].get<std::string>() + ": " + error["reason"].get<std::string>() + ".";
}

}  // namespace

HealthWatch::HealthWatch(Stores& stores, Alerts& alerts, std::filesystem::path runningMarker,
                         DisciplineReader readDiscipline)
    : stores_(stores),
      alerts_(alerts),
      runningMarker_(std::move(runningMarker)),
      readDiscipline_(std::move(readDiscipline)) {}

HealthWatch::~HealthWatch() {
  if (checker_.joinable()) {
    checker_.request_stop();
    checker_.join();
  }
}

void HealthWatch::onSound(const SoundEntry& entry) {
  const bool due = entry.cause.due.has_value() || entry.cause.source == SoundSource::ALARM;
  if (!entry.failure || !due)
    return;
  std::string what = "The bell '" + entry.name + "'";
  if (entry.cause.due)
    what += " due at " + dueText(*entry.cause.due);
  what += " could not play: " + *entry.failure + ".";
  alerts_.raise(Alert{"bellFailed", std::move(what),
                      "Open the dashboard's log to see which bells failed. Check the sound "
                      "output of the bell computer, and upload the signal's file again or "
                      "choose another signal."});
}

void HealthWatch::start() {
  std::error_code error;
  if (std::filesystem::exists(runningMarker_, error)) {
    alerts_.raise(Alert{"restartedAfterFailure",
                        "The bell player started again after it had stopped without shutting "
                        "down (a crash, a power loss or a forced end).",
                        "Bells due while it was not running are in the dashboard's log as "
                        "missed. If this happens again, look at the system's journal "
                        "(journalctl -u veltrano-player)."});
  }
  std::ofstream(runningMarker_) << "The player is running; a clean stop removes this file.\n";
  checker_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void HealthWatch::stop() noexcept {
  if (checker_.joinable()) {
    checker_.request_stop();
    checker_.join();
  }
  std::error_code error;
  std::filesystem::remove(runningMarker_, error);
}

void HealthWatch::check(std::chrono::steady_clock::time_point now) {
  if (auto problem = saveProblem(stores_)) {
    alerts_.raise(Alert{"saveFailed", *problem,
                        "Check the bell computer's disk (free space, errors). Changes made "
                        "since then are lost if the player restarts."});
  }
  const auto discipline = readDiscipline_();
  if (!discipline || discipline->synchronised) {
    unsynchronisedSince_.reset();
    return;
  }
  if (!unsynchronisedSince_)
    unsynchronisedSince_ = now;
  if (now - *unsynchronisedSince_ < UNSYNCHRONISED_GRACE)
    return;
  std::string what = "No time service keeps the bell computer's clock synchronised";
  if (discipline->estimatedErrorMs)
    what += " (estimated error " + std::to_string(*discipline->estimatedErrorMs) + " ms)";
  alerts_.raise(Alert{"clockUnsynchronised", what + ": bells may ring early or late.",
                      "Check the computer's network connection and its time service "
                      "(timedatectl status)."});
}

void HealthWatch::run(const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any woken;
  std::unique_lock lock(mutex);
  while (true) {
    woken.wait_for(lock, stop, CHECK_INTERVAL, [] { return false; });
    if (stop.stop_requested())
      return;
    check(std::chrono::steady_clock::now());
  }
}

}  // namespace veltrano
