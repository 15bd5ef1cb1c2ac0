#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "domain/AlertSettings.hpp"
#include "domain/Clock.hpp"
#include "remote/MailTransfer.hpp"
#include "storage/Stores.hpp"

namespace veltrano {

// Something someone away from the screen must learn of. kind is one of ALERT_KINDS.
struct Alert {
  std::string_view kind;
  std::string what;    // what happened, one sentence
  std::string advice;  // what to do about it
};

// Tells the addresses of the alert settings by e-mail, at most once an hour for each kind
// (a bell that fails every few minutes all day is one mail an hour, not a hundred). Mail goes
// out on a thread of its own, so raising an alert never waits for the mail program.
// Thread-safe.
class Alerts {
 public:
  using Sender = std::function<std::optional<std::string>(const MailMessage&)>;
  using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr std::chrono::hours QUIET_PERIOD{1};
  // Alerts waiting for the mail program beyond this are dropped.
  static constexpr std::size_t MAX_QUEUED = 16;

  // playerName tells which of a district's players writes ("the player on host-12").
  Alerts(Stores& stores, const Clock& clock, std::string playerName, Sender sender,
         SteadyNow steadyNow = std::chrono::steady_clock::now);
  ~Alerts();
  Alerts(const Alerts&) = delete;
  Alerts& operator=(const Alerts&) = delete;

  // Queues the alert; it is mailed if the settings ask for its kind and none of its kind went
  // out within QUIET_PERIOD. Never blocks on the mail program.
  void raise(Alert alert) noexcept;

  // Mails a test message to the configured addresses now: the reason it failed, or nothing.
  // Starts a child process: the caller must not hold the store lock.
  std::optional<std::string> sendTest();

  // Waits until every alert raised before the call is dealt with (for tests and shutdown).
  void flush();

 private:
  void run(const std::stop_token& stop);
  void deliver(const Alert& alert, const std::string& when);
  AlertSettings currentSettings();
  std::string signature() const;

  Stores& stores_;
  const Clock& clock_;
  const std::string playerName_;
  const Sender sender_;
  const SteadyNow steadyNow_;

  std::mutex mutex_;
  std::condition_variable_any changed_;
  struct Queued {
    Alert alert;
    std::string when;
  };
  std::deque<Queued> queue_;  // protected by mutex_
  std::size_t raised_ = 0;    // protected by mutex_
  std::size_t handled_ = 0;   // protected by mutex_
  // The sender's own: when each kind last went out.
  std::map<std::string, std::chrono::steady_clock::time_point, std::less<>> lastSent_;

  std::jthread senderThread_;  // last: joined before the members it uses go
};

}  // namespace veltrano
