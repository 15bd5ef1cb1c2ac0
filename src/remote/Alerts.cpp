#include "remote/Alerts.hpp"

#include <spdlog/spdlog.h>

#include <exception>
#include <utility>

namespace veltrano {
namespace {

std::string subjectOf(std::string_view kind) {
  if (kind == "bellFailed")
    return "A bell could not ring";
  if (kind == "clockUnsynchronised")
    return "The bell computer's clock is not synchronised";
  if (kind == "saveFailed")
    return "Changes to the bells are not being saved";
  if (kind == "restartedAfterFailure")
    return "The bell player restarted after a failure";
  return "School-bell player alert";
}

}  // namespace

Alerts::Alerts(Stores& stores, const Clock& clock, std::string playerName, Sender sender,
               SteadyNow steadyNow)
    : stores_(stores),
      clock_(clock),
      playerName_(std::move(playerName)),
      sender_(std::move(sender)),
      steadyNow_(std::move(steadyNow)) {
  senderThread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

Alerts::~Alerts() {
  senderThread_.request_stop();
  changed_.notify_all();
}

void Alerts::raise(Alert alert) noexcept {
  try {
    std::string when = clock_.getDateString() + " " + clock_.getTimeString();
    std::lock_guard lock(mutex_);
    if (queue_.size() >= MAX_QUEUED)
      return;
    queue_.push_back(Queued{std::move(alert), std::move(when)});
    ++raised_;
  } catch (const std::exception& e) {
    spdlog::error("An alert could not be queued: {}", e.what());
    return;
  }
  changed_.notify_all();
}

void Alerts::flush() {
  std::unique_lock lock(mutex_);
  const std::size_t target = raised_;
  changed_.wait(lock, [&] { return handled_ >= target; });
}

void Alerts::run(const std::stop_token& stop) {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, stop, [this] { return !queue_.empty(); });
    if (stop.stop_requested())
      return;  // a mail program that hangs must not hold up the end of the program
    Queued next = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    deliver(next.alert, next.when);
    lock.lock();
    ++handled_;
    changed_.notify_all();
  }
}

AlertSettings Alerts::currentSettings() {
  return stores_.lockForRound().db().settings.alerts;  // a read, not a change
}

std::string Alerts::signature() const {
  return "\n-- \nThe school-bell player on " + playerName_ + "\n";
}

void Alerts::deliver(const Alert& alert, const std::string& when) {
  const AlertSettings settings = currentSettings();
  if (settings.email.empty() || !settings.covers(alert.kind) || !settings.problem().empty())
    return;
  const auto now = steadyNow_();
  auto last = lastSent_.find(alert.kind);
  if (last != lastSent_.end() && now - last->second < QUIET_PERIOD)
    return;
  // Counted as sent even when the mail program fails, so a broken one is not run every round.
  lastSent_[std::string(alert.kind)] = now;
  MailMessage message;
  message.to = settings.email;
  message.subject = "[" + playerName_ + "] " + subjectOf(alert.kind);
  message.body = alert.what + "\n\nWhen: " + when + "\nWhat to do: " + alert.advice +
                 "\n\nFurther alerts of this kind are held back for an hour." + signature();
  if (auto failure = sender_(message))
    spdlog::error("The alert e-mail \"{}\" could not be sent: {}", subjectOf(alert.kind), *failure);
  else
    spdlog::info("Alert e-mail sent: {}", subjectOf(alert.kind));
}

std::optional<std::string> Alerts::sendTest() {
  const AlertSettings settings = currentSettings();
  if (settings.email.empty())
    return "No e-mail address is set";
  if (std::string problem = settings.problem(); !problem.empty())
    return problem;
  MailMessage message;
  message.to = settings.email;
  message.subject = "[" + playerName_ + "] Test e-mail from the school-bell player";
  message.body =
      "This is a test. When a bell fails, the clock loses its time server, changes "
      "cannot be saved or the player restarts after a failure, a mail like this one "
      "tells you.\n\nSent: " +
      clock_.getDateString() + " " + clock_.getTimeString() + signature();
  return sender_(message);
}

}  // namespace veltrano
