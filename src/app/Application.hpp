#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/BrowserOpener.hpp"
#include "app/HealthWatch.hpp"
#include "app/ServiceManager.hpp"
#include "audio/Alarm.hpp"
#include "audio/Player.hpp"
#include "audio/SongPlayback.hpp"
#include "audio/SoundLog.hpp"
#include "audio/SoundStatistics.hpp"
#include "audio/SpeechSynthesizer.hpp"
#include "audio/platform/FilePlayerFactory.hpp"
#include "domain/Clock.hpp"
#include "foundation/Paths.hpp"
#include "http/HttpServer.hpp"
#include "remote/Alerts.hpp"
#include "remote/Api.hpp"
#include "remote/CalendarFeeds.hpp"
#include "remote/CalendarSync.hpp"
#include "scheduling/Scheduler.hpp"
#include "storage/Backups.hpp"
#include "storage/DailySnapshots.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

inline constexpr int DEFAULT_PORT = 2233;

// What varies between the real program and a test. Every member left empty takes the real
// program's choice.
struct ApplicationOptions {
  // The command line, program name first.
  std::vector<std::string> arguments{"veltrano-player"};
  // Release or development mode and the directories; default: the running process's.
  std::optional<RuntimeEnvironment> environment;
  FilePlayerFactory filePlayerFactory;
  // Base URL of the remote service; default: by mode and VELTRANO_SERVICE_URL.
  std::optional<std::string> serviceUrl;
  TimeSource timeSource;
  // Opens a URL in the user's browser.
  std::function<void(const std::string& url)> openUrl;
  // Reads an environment variable (FLASK_DEBUG); nullopt when unset.
  std::function<std::optional<std::string>(const std::string& name)> getEnvironment;
  // The address served on.
  std::string host = "0.0.0.0";
  // In tray mode the browser opens this long after start, when the server is up.
  std::chrono::milliseconds popupDelay{2000};
  ServerLimits http;
};

// The program: builds and owns, in this order, the paths, the clock, the stores, the sound
// statistics, the alerts and their health watch, the sound log, the player, song playback,
// the alarm, the remote service client, the calendar synchronisation, the scheduler, backups
// with their daily snapshots, the subscribed calendars and the HTTP server, and tears them down
// in reverse. Nothing runs until start.
class Application {
 public:
  explicit Application(ApplicationOptions options = {});
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Parses the command line, checks the port, loads the stores, starts the scheduler and
  // serves HTTP on the calling thread until stop(). Returns the process's exit status: 0
  // after stop(), 1 when the port is taken or a store file cannot be used, the parser's
  // status for a bad command line. A tray host passes isTray; the browser then opens at
  // start unless "--no-popup".
  int start(bool isTray = false);
  // Ends start(): the server stops taking requests, the scheduler ends after its last
  // autosave, and whatever changed since is saved too. Any thread; returns at once.
  void stop() noexcept;

  void openDashboard();
  // The welcome page; in tray mode with "?isTray=1".
  void openWelcome();
  // The tray icon: favicon.ico of the dashboard.
  std::string getIconPath() const;

  // The port in use (after start has parsed the command line).
  int port() const noexcept { return port_.load(); }
  Stores& stores() noexcept { return stores_; }
  Player& player() noexcept { return player_; }

 private:
  void _openBrowser(const std::string& subpage = "");
  bool _isPortUsed() const noexcept;
  bool _isPortUsedByUs() const;
  // True when start must end because the port is taken.
  bool _exit_if_port_used(bool canPopBrowser);
  // Returns the exit status; throws StoreLoadError for a store file that cannot be used.
  int run(bool isTray);
  // Caller must not hold the store lock.
  bool loadStores();
  void shutDown() noexcept;
  void saveChanges() noexcept;

  ApplicationOptions options_;
  BrowserOpener browser_;
  ServiceManager serviceManager_;
  // "--audio-device"; set by start before any sound plays, read as each file player is made.
  std::shared_ptr<std::string> audioDevice_ = std::make_shared<std::string>();
  // The dashboard's default language (--language), read by the info target.
  std::shared_ptr<std::string> language_ = std::make_shared<std::string>("en");
  // The mail program (--sendmail); set by start before any alert is mailed.
  std::shared_ptr<std::string> sendmail_ = std::make_shared<std::string>(DEFAULT_SENDMAIL);
  // The file players of this platform, unless the options bring their own.
  PlatformFilePlayers platformPlayers_ = platformFilePlayers(audioDevice_);
  Paths paths_;
  Clock clock_;
  Stores stores_;
  // Before the sound log: its writer tells them of entries until it ends.
  SoundStatistics statistics_;
  Alerts alerts_;
  HealthWatch healthWatch_;
  SoundLog soundLog_;
  Player player_;
  SongPlayback songs_;
  Alarm alarm_;
  Api api_;
  SpeechSynthesizer speech_;
  CalendarSync calendarSync_;
  Scheduler scheduler_;
  Backups backups_;
  DailySnapshots dailySnapshots_;
  CalendarFeeds calendarFeeds_;
  HttpServer server_;

  std::atomic<int> port_{DEFAULT_PORT};  // gPort; set by start before other threads run
  std::atomic<bool> isTray_{false};      // gIsTray
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> listening_{false};  // from just before listen() until it returned
  std::jthread popupTimer_;             // last: joined before what it uses goes
};

}  // namespace veltrano
