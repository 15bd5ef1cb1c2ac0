#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace veltrano {

// Failed logins allowed from one address within LOGIN_FAILURE_WINDOW before it must wait.
inline constexpr std::size_t LOGIN_FAILURES_BEFORE_WAIT = 5;
inline constexpr std::chrono::seconds LOGIN_FAILURE_WINDOW{60};
// The first wait; every failure after a wait doubles it, up to LOGIN_MAX_WAIT.
inline constexpr std::chrono::seconds LOGIN_FIRST_WAIT{30};
inline constexpr std::chrono::seconds LOGIN_MAX_WAIT{15 * 60};
// An address that has not failed for this long starts afresh.
inline constexpr std::chrono::hours LOGIN_FORGET_AFTER{24};
// Addresses remembered at most; beyond it the longest quiet one is forgotten.
inline constexpr std::size_t LOGIN_MAX_ADDRESSES = 4096;
// More failed logins than this within LOGIN_FAILURE_WINDOW from all addresses together is an
// attack from many computers: login attempts then take turns, one each LOGIN_TURN.
inline constexpr std::size_t LOGIN_FAILURES_UNDER_ATTACK = 30;
inline constexpr std::chrono::seconds LOGIN_TURN{1};

// Slows down password guessing, per client address: after LOGIN_FAILURES_BEFORE_WAIT failures
// within a minute the address must wait, and each failure after a wait doubles the wait. A
// correct password after the wait forgets the address. Under an attack from many addresses,
// attempts from addresses that have failed take turns, one a second for all of them; an
// address that has not failed itself is never kept waiting. Thread-safe.
class LoginThrottle {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Now = std::function<TimePoint()>;

  explicit LoginThrottle(Now now = std::chrono::steady_clock::now);

  // How long the address must still wait before its password is checked; zero when it may
  // try now.
  std::chrono::seconds remainingWait(const std::string& address) const;
  // Whether a login attempt from the address may be checked now: zero when it may (and it
  // has taken its turn), else how long to wait, its own wait or the turn of all.
  std::chrono::seconds admitAttempt(const std::string& address);
  void recordFailure(const std::string& address);
  void recordSuccess(const std::string& address);
  std::size_t trackedAddresses() const;

 private:
  struct Entry {
    std::deque<TimePoint> recentFailures;  // within the window, at most the allowed count
    std::chrono::seconds wait{0};          // zero until the first wait
    TimePoint waitEnds;
    TimePoint lastFailure;
  };

  // Caller holds mutex_.
  void makeRoom(TimePoint now);

  const Now now_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Entry> entries_;  // protected by mutex_
  // Failures from every address within the window, at most LOGIN_FAILURES_UNDER_ATTACK + 1.
  std::deque<TimePoint> allFailures_;  // protected by mutex_
  TimePoint nextTurn_;                 // protected by mutex_
};

}  // namespace veltrano
