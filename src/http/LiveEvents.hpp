#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "http/HttpContext.hpp"
#include "http/HttpMessage.hpp"

namespace veltrano {

struct LiveEventTiming {
  // How often the small state is compared while a stream is open.
  std::chrono::milliseconds sample{100};
  // A stream that had nothing to say for this long is told the player is still there.
  std::chrono::milliseconds heartbeat{15000};
};

// The dashboard's live view of the player, sent to every open event stream: "alarm"
// {"active"}, "playing" {"playing"}, "bells" {"enabled"}, "saveError" (null or {"store",
// "reason", "since"}), "database" {"part"} for each changed part, "sound" (the sound log's
// line) and "heartbeat" {}. A stream opened is sent the current alarm, playing, bells and
// saveError first. The state is sampled only while a stream is open: with none, a thread
// waits and nothing else is spent. Thread-safe.
class LiveEvents {
 public:
  // The context outlives this.
  LiveEvents(const HttpContext& context, LiveEventTiming timing = {});
  // Ends the sampling and lets go of every stream.
  ~LiveEvents();
  LiveEvents(const LiveEvents&) = delete;
  LiveEvents& operator=(const LiveEvents&) = delete;

  // Takes a stream just opened; never waits for the stores (the caller is the event loop).
  void open(std::shared_ptr<EventChannel> channel);
  void setTiming(LiveEventTiming timing);

 private:
  // The streams, shared with the sound log's listener, which may outlive this.
  struct Streams {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::vector<std::shared_ptr<EventChannel>> open;     // protected by mutex
    std::vector<std::shared_ptr<EventChannel>> opening;  // protected by mutex: not yet told
    LiveEventTiming timing;                              // protected by mutex
    // Sends to every open stream and drops the ones that ended. Caller holds mutex.
    void sendToAll(const std::string& text);
  };

  void run(const std::stop_token& stop);

  const HttpContext& context_;
  std::shared_ptr<Streams> streams_;
  std::jthread sampler_;  // protected by streams_->mutex; started with the first stream
};

}  // namespace veltrano
