#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace veltrano {

// A player left unused this long after it was readied is ended: it holds its device open.
inline constexpr std::chrono::seconds READY_PLAYER_LIFETIME{10};

// Player processes started ahead of a sound due within the next second, at most one per
// command (player program and device), each waiting for its file on standard input. A fresh
// mpg123 needs 15 to 30 ms to load its libraries and open its device before the first frame; a
// ready one sounds within a millisecond of getting its file. Thread-safe.
class ReadyPlayers {
 public:
  // A started player waiting for its file: the file goes to `input`, what it says on its
  // standard error comes from `errors`. Whoever takes it owns and reaps the process.
  struct Child {
    pid_t pid = -1;
    int input = -1;   // a stream socket, so a player gone early is an error, not a SIGPIPE
    int errors = -1;  // non-blocking
  };

  ReadyPlayers() = default;
  // Ends and reaps the players nobody took.
  ~ReadyPlayers();
  ReadyPlayers(const ReadyPlayers&) = delete;
  ReadyPlayers& operator=(const ReadyPlayers&) = delete;

  // Asks for a player for each command that has none ready ("-" is added as its file), and
  // the end of those left unused for READY_PLAYER_LIFETIME; returns at once. The players are
  // started on this object's own thread, so that they live as long as it does. A player that cannot
  // be started is logged once; its sound then starts the usual way.
  void prepare(const std::vector<std::vector<std::string>>& commands);
  // The ready player of the command, still alive; none when there is none.
  std::optional<Child> take(const std::vector<std::string>& command);

 private:
  struct Ready {
    std::vector<std::string> command;
    Child child;
    std::chrono::steady_clock::time_point since;
  };

  void run(const std::stop_token& stop) noexcept;
  // Does what prepare asked for. Caller: the thread of run, without mutex_.
  void refresh(const std::vector<std::vector<std::string>>& commands);
  // Starts the player; none when it cannot be started. Caller must not hold mutex_.
  std::optional<Child> start(const std::vector<std::string>& command);
  // True when the process has already ended (it is then reaped). Caller holds mutex_.
  static bool hasEnded(pid_t pid) noexcept;
  // Logs a player that ended while it waited, with the last line it wrote.
  static void logEnded(const Child& child) noexcept;
  static void closeAll(const Child& child) noexcept;
  // SIGTERM now, reaped by a later refresh or the destructor. Caller holds mutex_.
  void retire(const Child& child) noexcept;
  // Reaps the retired players that have ended. Caller holds mutex_.
  void reapRetired() noexcept;

  std::mutex mutex_;
  std::vector<Ready> ready_;    // protected by mutex_
  std::vector<pid_t> retired_;  // protected by mutex_: sent SIGTERM, not yet reaped
  std::string lastStartError_;  // protected by mutex_: logged once until it changes
  std::vector<std::vector<std::string>> wanted_;  // protected by mutex_: the latest request
  bool requested_ = false;                        // protected by mutex_
  std::condition_variable_any requestChanged_;
  // Started by the first prepare; the players die with it (see spawnChild), so it is the one
  // that starts them. Protected by mutex_ until the destructor joins it.
  std::jthread spawner_;
};

}  // namespace veltrano
