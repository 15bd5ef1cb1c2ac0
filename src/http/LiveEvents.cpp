#include "http/LiveEvents.hpp"

#include <spdlog/spdlog.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "http/Exchange.hpp"
#include "http/Targets.hpp"
#include "storage/DatabaseParts.hpp"

namespace veltrano {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A browser that lost the player tries again this soon.
constexpr std::string_view RETRY = "retry: 1000\n\n";

std::string eventText(std::string_view name, const Json& data) {
  std::string text = "event: ";
  text += name;
  text += "\ndata: ";
  text += jsonText(data);
  text += "\n\n";
  return text;
}

// What the sampler compares: small, and read quickly.
struct LiveState {
  bool alarm = false;
  bool playing = false;
  bool bells = false;
  Json saveError;
  std::uint64_t changeCount = 0;
  std::optional<DatabaseParts> parts;
};

// The database parts are hashed only when the change count moved since earlier.
LiveState sample(const HttpContext& context, const LiveState* earlier) {
  LiveState state;
  state.alarm = context.alarm.isActive();
  state.playing = context.player.isPlaying();
  // Not counted as a change: the sampler must not see its own reading as one.
  auto access = context.stores.lockForRound();
  state.bells = access.db().settings.schedulerEnable;
  state.saveError = firstSaveError(access);
  state.changeCount = access.changeCount();
  if (earlier && earlier->changeCount == state.changeCount)
    state.parts = earlier->parts;
  else
    state.parts = DatabaseParts::of(access.db(), access.cache());
  return state;
}

std::string alarmEvent(const LiveState& state) {
  return eventText("alarm", Json{{"active", state.alarm}});
}
std::string playingEvent(const LiveState& state) {
  return eventText("playing", Json{{"playing", state.playing}});
}
std::string bellsEvent(const LiveState& state) {
  return eventText("bells", Json{{"enabled", state.bells}});
}
std::string saveErrorEvent(const LiveState& state) {
  return eventText("saveError", state.saveError);
}

// What a stream is told when it opens.
std::string wholeState(const LiveState& state) {
  return std::string(RETRY) + alarmEvent(state) + playingEvent(state) + bellsEvent(state) +
         saveErrorEvent(state);
}

// The events that take a stream from earlier to now, as one text.
std::string differences(const LiveState& earlier, const LiveState& now) {
  std::string text;
  if (now.alarm != earlier.alarm)
    text += alarmEvent(now);
  if (now.playing != earlier.playing)
    text += playingEvent(now);
  if (now.bells != earlier.bells)
    text += bellsEvent(now);
  if (now.saveError != earlier.saveError)
    text += saveErrorEvent(now);
  if (now.parts && earlier.parts) {
    for (auto part : now.parts->changedSince(*earlier.parts))
      text += eventText("database", Json{{"part", part}});
  }
  return text;
}

}  // namespace

void LiveEvents::Streams::sendToAll(const std::string& text) {
  std::erase_if(open, [&](const auto& channel) { return !channel->send(text); });
}

LiveEvents::LiveEvents(const HttpContext& context, LiveEventTiming timing)
    : context_(context), streams_(std::make_shared<Streams>()) {
  streams_->timing = timing;
  context_.soundLog.addListener([weak = std::weak_ptr<Streams>(streams_)](const SoundEntry& entry) {
    auto streams = weak.lock();
    if (!streams)
      return;
    std::string text = eventText("sound", entry.toJson());
    std::lock_guard lock(streams->mutex);
    streams->sendToAll(text);
  });
}

LiveEvents::~LiveEvents() {
  std::jthread sampler;
  {
    std::lock_guard lock(streams_->mutex);
    sampler = std::move(sampler_);
  }
  // Joined outside the lock, which the sampler takes.
  sampler = {};
  std::lock_guard lock(streams_->mutex);
  streams_->open.clear();
  streams_->opening.clear();
}

void LiveEvents::open(std::shared_ptr<EventChannel> channel) {
  std::lock_guard lock(streams_->mutex);
  streams_->opening.push_back(std::move(channel));
  if (!sampler_.joinable())
    sampler_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
  streams_->wake.notify_all();
}

void LiveEvents::setTiming(LiveEventTiming timing) {
  std::lock_guard lock(streams_->mutex);
  streams_->timing = timing;
}

void LiveEvents::run(const std::stop_token& stop) {
  Streams& streams = *streams_;
  std::optional<LiveState> last;
  SteadyClock::time_point nextHeartbeat;
  while (!stop.stop_requested()) {
    try {
      {
        std::unique_lock lock(streams.mutex);
        std::erase_if(streams.open, [](const auto& channel) { return !channel->isOpen(); });
        auto hasStreams = [&] { return !streams.open.empty() || !streams.opening.empty(); };
        if (!hasStreams()) {
          // Nobody watches: no sampling until a stream opens.
          last.reset();
          streams.wake.wait(lock, stop, hasStreams);
        } else if (streams.opening.empty()) {
          streams.wake.wait_for(lock, stop, streams.timing.sample,
                                [&] { return !streams.opening.empty(); });
        }
        if (stop.stop_requested())
          return;
      }
      // Read without our lock: the store lock may be held for a while by others.
      LiveState now = sample(context_, last ? &*last : nullptr);

      std::lock_guard lock(streams.mutex);
      auto moment = SteadyClock::now();
      if (last) {
        if (std::string text = differences(*last, now); !text.empty()) {
          streams.sendToAll(text);
          nextHeartbeat = moment + streams.timing.heartbeat;
        }
      } else {
        nextHeartbeat = moment + streams.timing.heartbeat;
      }
      if (moment >= nextHeartbeat) {
        streams.sendToAll(eventText("heartbeat", Json::object()));
        nextHeartbeat = moment + streams.timing.heartbeat;
      }
      std::string whole = wholeState(now);
      for (auto& channel : streams.opening) {
        if (channel->send(whole))
          streams.open.push_back(std::move(channel));
      }
      streams.opening.clear();
      last = std::move(now);
    } catch (const std::exception& e) {
      spdlog::error(std::string("Live events: ") + e.what());
      std::unique_lock lock(streams.mutex);
      streams.wake.wait_for(lock, stop, streams.timing.sample, [] { return false; });
    }
  }
}

}  // namespace veltrano
