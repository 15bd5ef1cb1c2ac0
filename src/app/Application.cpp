#include "app/Application.hpp"

#include <spdlog/spdlog.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <boost/asio/ip/host_name.hpp>
#include <chrono>
#include <cstdlib>
#include <exception>

#include "app/PortProbe.hpp"
#include "domain/LocalSecond.hpp"
#include "foundation/LimitedProcess.hpp"
#include "foundation/Log.hpp"
#include "foundation/StorageWrapper.hpp"
#include "http/AuthHandlers.hpp"
#include "remote/ServiceUrl.hpp"
#include "scheduling/AutoSave.hpp"

namespace veltrano {
namespace {

Paths makePaths(const ApplicationOptions& options) {
  return options.environment ? Paths(*options.environment) : Paths::fromProcess();
}

std::string serviceUrl(const ApplicationOptions& options, const Paths& paths) {
  if (options.serviceUrl)
    return *options.serviceUrl;
  return selectServiceBaseUrl(paths.isRelease(), readServiceUrlVariable());
}

// A test's clock stands for the wall clock too, so logged start times match its seconds.
SoundLog::WallClock soundLogClock(const ApplicationOptions& options, const Clock& clock) {
  if (!options.timeSource)
    return std::chrono::system_clock::now;
  return [&clock] {
    return std::chrono::system_clock::time_point(
        std::chrono::milliseconds(epochMillisOfLocal(clock.getClock())));
  };
}

// Names the player in its alert mails: a district may run many.
std::string playerName() {
  try {
    std::string name = boost::asio::ip::host_name();
    if (!name.empty())
      return name;
  } catch (const std::exception&) {
  }
  return "this computer";
}

std::optional<std::string> processEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value)
    return std::nullopt;
  return std::string(value);
}

}  // namespace

Application::Application(ApplicationOptions options)
    : options_(std::move(options)),
      paths_(makePaths(options_)),
      clock_(options_.timeSource ? options_.timeSource : TimeSource(readLocalTime)),
      alerts_(
          stores_, clock_, playerName(),
          [this](const MailMessage& message) { return MailTransfer(*sendmail_).send(message); }),
      healthWatch_(stores_, alerts_, paths_.getUserFilePath("running")),
      soundLog_(paths_.getUserFilePath() / "history", soundLogClock(options_, clock_)),
      player_(clock_,
              options_.filePlayerFactory ? options_.filePlayerFactory : platformPlayers_.factory),
      songs_(player_, paths_, &soundLog_),
      alarm_(songs_),
      api_(serviceUrl(options_, paths_)),
      calendarSync_(api_, stores_, clock_, paths_.getVersion()),
      scheduler_(stores_, clock_, songs_, [this] { calendarSync_.phoneHome(); }),
      backups_(stores_, paths_, clock_),
      dailySnapshots_(backups_),
      calendarFeeds_(stores_, clock_),
      server_(HttpContext{stores_, clock_, paths_, player_, songs_, alarm_, api_, speech_,
                          soundLog_, backups_, statistics_, alerts_, calendarFeeds_,
                          std::chrono::system_clock::now(), language_},
              options_.http) {
  if (!options_.openUrl) {
    options_.openUrl = [this](const std::string& url) { browser_.open(url); };
  }
  if (!options_.getEnvironment)
    options_.getEnvironment = processEnvironment;
  scheduler_.onRoundCompleted([this] { serviceManager_.watchdogPing(); });
  soundLog_.addListener([this](const SoundEntry& entry) {
    statistics_.count(entry);
    healthWatch_.onSound(entry);
  });
  if (!options_.filePlayerFactory)
    player_.warmUpWith(platformPlayers_.warmUp);
}

Application::~Application() {
  shutDown();
}

int Application::start(bool isTray) {
  try {
    return run(isTray);
  } catch (const StoreLoadError& e) {
    spdlog::error(e.what());
  }
  shutDown();
  return 1;
}

namespace {

std::vector<std::string> splitNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t begin = 0;
  while (begin <= list.size()) {
    std::size_t end = std::min(list.find(',', begin), list.size());
    std::string name = list.substr(begin, end - begin);
    std::erase_if(name, [](char c) { return c == ' ' || c == '\t'; });
    if (!name.empty())
      names.push_back(std::move(name));
    begin = end + 1;
  }
  return names;
}

}  // namespace

int Application::run(bool isTray) {
  std::string banner = "Veltrano Player v" + paths_.getVersion();

  CLI::App parser(banner);
  bool verbose = false;
  bool noPopup = false;
  int port = port_.load();
  parser.add_flag("-v,--verbose", verbose);
  parser.add_flag("--no-popup", noPopup);
  parser.add_option("--port", port)->check(CLI::Range(1, 65535));
  std::string audioDevice;
  // Empty, as "--audio-device=" from a service's unset option, means the default device.
  parser.add_option("--audio-device", audioDevice)->expected(0, 1);
  std::string allowedHosts;
  // Names of the player in the school's DNS, comma-separated; empty allows no other name.
  parser.add_option("--allowed-hosts", allowedHosts)->expected(0, 1);
  std::string language = "en";
  // The dashboard's language where the browser asks for none of these; empty, as from a
  // service's unset option, means English.
  parser.add_option("--language", language, "Dashboard language: en, hu or de")
      ->expected(0, 1)
      ->check(CLI::IsMember({"", "en", "hu", "de"}));
  std::string sendmail = DEFAULT_SENDMAIL;
  // The mail transfer agent's sendmail program, for alert e-mails.
  parser.add_option("--sendmail", sendmail, "The mail program alerts are sent through")
      ->expected(0, 1)
      ->envname("VELTRANO_SENDMAIL");
  std::string metricsToken;
  // Lets a monitoring system read /metrics without logging in; empty: only after a login.
  // Also from the environment, which other users cannot read as they can a command line.
  parser.add_option("--metrics-token", metricsToken)
      ->expected(0, 1)
      ->envname("VELTRANO_METRICS_TOKEN");
  std::vector<const char*> argv;
  for (const auto& argument : options_.arguments)
    argv.push_back(argument.c_str());
  try {
    parser.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    return parser.exit(e);
  }

  port_ = port;
  server_.allowHostNames(splitNames(allowedHosts));
  server_.setMetricsToken(metricsToken);
  *sendmail_ = sendmail.empty() ? DEFAULT_SENDMAIL : sendmail;
  isTray_ = isTray;
  *audioDevice_ = audioDevice;
  *language_ = language.empty() ? "en" : language;
  bool canPopBrowser = isTray && !noPopup;
  configureLogging(verbose);

  if (_exit_if_port_used(canPopBrowser))
    return 1;
  // Taken now, before anything runs: a port lost to a race must not leave a scheduler
  // ringing beside another instance.
  if (!server_.bind(options_.host, port)) {
    spdlog::error("Port " + std::to_string(port) +
                  " is already used by another application. Either identify and stop that "
                  "program, or start Veltrano with a different port.");
    return 1;
  }

  std::string portText = std::to_string(port);
  spdlog::info("");
  spdlog::info(banner);
  spdlog::info("Open a browser and navigate to ----> http://localhost:" + portText + "/ <----");
  spdlog::info("");
  spdlog::debug("User data path: " + paths_.getUserFilePath().string());
  if (!audioDevice.empty())
    spdlog::info("Audio device: " + audioDevice);

  bool firstStart = loadStores();
  scheduler_.keepProgressIn(paths_.getUserFilePath("scheduler-progress"));
  scheduler_.start();
  dailySnapshots_.start();
  healthWatch_.start();
  calendarFeeds_.start();

  if (canPopBrowser) {
    popupTimer_ = std::jthread([this, firstStart](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any woken;
      std::unique_lock lock(mutex);
      woken.wait_for(lock, stop, options_.popupDelay, [] { return false; });
      if (stop.stop_requested())
        return;
      if (firstStart) {
        openWelcome();
      } else {
        openDashboard();
      }
    });
  }

  server_.setSigningKey(sessionSigningKey(stores_.lock().shadow()));

  listening_ = true;
  if (!stopRequested_) {
    // The port is bound and takes connections, the scheduler runs: a service manager may
    // count the program as started.
    serviceManager_.notifyReady();
    server_.listen();
  }
  listening_ = false;
  shutDown();
  return 0;
}

bool Application::loadStores() {
  // Before any store file is read: they are then the old set or the restored one, whole.
  backups_.finishInterruptedRestore();
  // Nothing else runs yet, so reading the files under the lock keeps nobody waiting.
  auto access = stores_.lock();
  bool firstStart = false;
  if (!access.dbStore().load(paths_.getUserFilePath("_db.json"))) {
    spdlog::info("Falling back to factory default config");
    access.db().loadFactoryDefault();
    firstStart = true;
  }
  access.db().ensureFactorySongsAvailable();
  access.shadowStore().load(paths_.getUserFilePath("_shadow.json"));
  access.cacheStore().load(paths_.getUserFilePath("cache.json"));
  // The autosave baseline is what was loaded: any change from now on, even one made before
  // the scheduler's first round, reaches the files.
  access.dbStore().prepareAutoSave();
  access.shadowStore().prepareAutoSave();
  access.cacheStore().prepareAutoSave();
  return firstStart;
}

void Application::stop() noexcept {
  stopRequested_ = true;
  // A request reading or fetching a calendar would hold the server's end for seconds.
  calendarFeeds_.cancel();
  killLimitedProcesses();
  // listen() may be just about to begin, and stopping a server that does not run yet does
  // nothing: wait for it to run, or for start to give up on it.
  while (listening_) {
    if (server_.isRunning()) {
      server_.stop();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void Application::shutDown() noexcept {
  stopRequested_ = true;
  serviceManager_.notifyStopping();
  calendarFeeds_.cancel();
  server_.stop();
  if (popupTimer_.joinable()) {
    popupTimer_.request_stop();
    popupTimer_.join();
  }
  calendarFeeds_.stop();
  dailySnapshots_.stop();
  scheduler_.stop();
  saveChanges();
  player_.stopAll();
  healthWatch_.stop();
}

void Application::saveChanges() noexcept {
  // Changes made after the scheduler's last round; the files are written without the lock.
  AutoSave save(clock_);
  {
    auto access = stores_.lock();
    if (!access.dbStore().path())
      return;  // never loaded: nothing to save into
    save.prepare(access);
  }
  try {
    save.write(stores_);
  } catch (const std::exception& e) {
    spdlog::error(std::string("Could not save the last changes: ") + e.what());
  }
}

void Application::openDashboard() {
  _openBrowser();
}

void Application::openWelcome() {
  _openBrowser(isTray_ ? "welcome?isTray=1" : "welcome");
}

std::string Application::getIconPath() const {
  return (paths_.getHtmlDir() / "favicon.ico").string();
}

void Application::_openBrowser(const std::string& subpage) {
  options_.openUrl("http://localhost:" + std::to_string(port_.load()) + "/" + subpage);
}

bool Application::_isPortUsed() const noexcept {
  return isPortUsed(port_.load());
}

bool Application::_isPortUsedByUs() const {
  return isPortUsedByUs(port_.load());
}

bool Application::_exit_if_port_used(bool canPopBrowser) {
  auto flaskDebug = options_.getEnvironment("FLASK_DEBUG");
  if (flaskDebug && !flaskDebug->empty()) {
    spdlog::info("FLASK_DEBUG is set; skipping port-in-use checks.");
    return false;
  }
  if (!_isPortUsed())
    return false;
  std::string port = std::to_string(port_.load());
  if (_isPortUsedByUs()) {
    if (canPopBrowser) {
      openDashboard();
    } else {
      spdlog::info("Veltrano is already running. Navigate to http://localhost:" + port +
                   "/ to access it.");
    }
  } else {
    spdlog::error("Port " + port +
                  " is already used by another application. Either identify and stop that "
                  "program, or start Veltrano with a different port.");
  }
  return true;
}

}  // namespace veltrano
