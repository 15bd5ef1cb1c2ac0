#include "http/LoginThrottle.hpp"

#include <algorithm>

namespace veltrano {

LoginThrottle::LoginThrottle(Now now) : now_(std::move(now)) {}

std::chrono::seconds LoginThrottle::remainingWait(const std::string& address) const {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(address);
  if (found == entries_.end())
    return std::chrono::seconds{0};
  auto left = found->second.waitEnds - now_();
  if (left <= left.zero())
    return std::chrono::seconds{0};
  // Rounded up: a client that waits the announced seconds must be let in.
  return std::chrono::ceil<std::chrono::seconds>(left);
}

std::chrono::seconds LoginThrottle::admitAttempt(const std::string& address) {
  if (auto wait = remainingWait(address); wait.count() > 0)
    return wait;
  std::lock_guard lock(mutex_);
  const TimePoint now = now_();
  while (!allFailures_.empty() && now - allFailures_.front() > LOGIN_FAILURE_WINDOW)
    allFailures_.pop_front();
  if (allFailures_.size() <= LOGIN_FAILURES_UNDER_ATTACK)
    return std::chrono::seconds{0};
  bool hasFailed = entries_.contains(address);
  if (now < nextTurn_ && hasFailed)
    return std::chrono::ceil<std::chrono::seconds>(nextTurn_ - now);
  nextTurn_ = std::max(nextTurn_, now) + LOGIN_TURN;
  return std::chrono::seconds{0};
}

void LoginThrottle::recordFailure(const std::string& address) {
  std::lock_guard lock(mutex_);
  const TimePoint now = now_();
  allFailures_.push_back(now);
  if (allFailures_.size() > LOGIN_FAILURES_UNDER_ATTACK + 1)
    allFailures_.pop_front();
  auto found = entries_.find(address);
  if (found == entries_.end()) {
    makeRoom(now);
    found = entries_.emplace(address, Entry{{}, {}, now, now}).first;
  }
  Entry& entry = found->second;
  if (now - entry.lastFailure > LOGIN_FORGET_AFTER)
    entry = Entry{{}, {}, now, now};
  entry.lastFailure = now;

  if (entry.wait.count() > 0) {
    entry.wait = std::min(entry.wait * 2, LOGIN_MAX_WAIT);
    entry.waitEnds = now + entry.wait;
    return;
  }
  auto& recent = entry.recentFailures;
  recent.push_back(now);
  while (!recent.empty() && (now - recent.front() > LOGIN_FAILURE_WINDOW ||
                             recent.size() > LOGIN_FAILURES_BEFORE_WAIT)) {
    recent.pop_front();
  }
  if (recent.size() == LOGIN_FAILURES_BEFORE_WAIT) {
    recent.clear();
    entry.wait = LOGIN_FIRST_WAIT;
    entry.waitEnds = now + entry.wait;
  }
}

void LoginThrottle::recordSuccess(const std::string& address) {
  std::lock_guard lock(mutex_);
  entries_.erase(address);
}

std::size_t LoginThrottle::trackedAddresses() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void LoginThrottle::makeRoom(TimePoint now) {
  if (entries_.size() < LOGIN_MAX_ADDRESSES)
    return;
  std::erase_if(entries_, [now](const auto& item) {
    return now - item.second.lastFailure > LOGIN_FORGET_AFTER;
  });
  if (entries_.size() < LOGIN_MAX_ADDRESSES)
    return;
  auto quietest = std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
    return a.second.lastFailure < b.second.lastFailure;
  });
  entries_.erase(quietest);
}

}  // namespace veltrano
