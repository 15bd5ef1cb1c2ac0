#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "audio/Alarm.hpp"
#include "audio/Player.hpp"
#include "audio/SongPlayback.hpp"
#include "audio/SoundLog.hpp"
#include "audio/SoundStatistics.hpp"
#include "audio/SpeechSynthesizer.hpp"
#include "domain/Clock.hpp"
#include "foundation/Paths.hpp"
#include "remote/Alerts.hpp"
#include "remote/Api.hpp"
#include "remote/CalendarFeeds.hpp"
#include "storage/Backups.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// What the request handlers work on. Everything is owned by the application and outlives
// the server; the records are reached only through stores.lock().
struct HttpContext {
  Stores& stores;
  const Clock& clock;
  const Paths& paths;
  Player& player;
  SongPlayback& songs;
  Alarm& alarm;
  Api& api;
  SpeechSynthesizer& speech;
  SoundLog& soundLog;
  Backups& backups;
  const SoundStatistics& statistics;
  Alerts& alerts;
  CalendarFeeds& feeds;
  // When the program started, for monitoring.
  std::chrono::system_clock::time_point startedAt = std::chrono::system_clock::now();
  // The dashboard's language for browsers that ask for none ("en", "hu" or "de"); set from
  // the command line before the server serves.
  std::shared_ptr<const std::string> language = std::make_shared<const std::string>("en");
};

}  // namespace veltrano
