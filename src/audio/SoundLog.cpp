#include "audio/SoundLog.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include "domain/LocalSecond.hpp"
#include "foundation/BackwardLineReader.hpp"
#include "foundation/JsonLimits.hpp"

namespace veltrano {
namespace {

constexpr std::string_view FILE_SUFFIX = ".jsonl";
// How long a query waits for the writer to catch up before it answers what is on disk.
constexpr std::chrono::seconds QUERY_WAIT{2};

std::string localText(const ClockValue& v) {
  std::array<char, 40> text{};
  std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02d", v.tm_year, v.tm_mon,
                v.tm_mday, v.tm_hour, v.tm_min, v.tm_sec);
  return text.data();
}

ClockValue localOfMillis(long long epochMs) {
  return clockValueFromEpoch(epochMs >= 0 ? epochMs / 1000 : (epochMs - 999) / 1000);
}

std::string localMillisText(long long epochMs) {
  std::array<char, 8> millis{};
  std::snprintf(millis.data(), millis.size(), ".%03lld", ((epochMs % 1000) + 1000) % 1000);
  return localText(localOfMillis(epochMs)) + millis.data();
}

// The date a day file is named after, or nothing for any other file.
std::optional<Date> dateOfFileName(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  if (name.size() != 10 + FILE_SUFFIX.size() || !name.ends_with(FILE_SUFFIX))
    return std::nullopt;
  try {
    return Date::decode(name.substr(0, 10));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The answer to one day's query holds at most this much of the file's text.
constexpr std::size_t MAX_QUERY_BYTES = 8 * 1024 * 1024;
// Our own lines are flat objects of a few members.
constexpr JsonLimits LINE_JSON_LIMITS{.maxBytes = MAX_LOG_LINE_BYTES,
                                      .maxDepth = 2,
                                      .maxValues = 1000,
                                      .maxStringBytes = MAX_LOG_LINE_BYTES};

// The entry a line holds; nothing for a line cut short by a power loss or otherwise broken.
std::optional<Json> parseLine(const std::string& line) {
  try {
    Json entry = parseJson(line, LINE_JSON_LIMITS);
    if (entry.is_object())
      return entry;
  } catch (const JsonInputError&) {
  }
  return std::nullopt;
}

}  // namespace

std::string_view soundSourceName(SoundSource source) noexcept {
  switch (source) {
    case SoundSource::LESSON_START:
      return "lessonStart";
    case SoundSource::LESSON_END:
      return "lessonEnd";
    case SoundSource::PRE_START:
      return "preStart";
    case SoundSource::PRE_END:
      return "preEnd";
    case SoundSource::CUSTOM_PLAY:
      return "customPlay";
    case SoundSource::PROGRAMME:
      return "programme";
    case SoundSource::ALARM:
      return "alarm";
    case SoundSource::SIGNAL:
      return "signal";
    case SoundSource::SONG:
      return "song";
    case SoundSource::ANNOUNCEMENT:
      return "announcement";
    case SoundSource::TIMETABLE:
      return "timetable";
  }
  return "unknown";
}

Json SoundEntry::toJson() const {
  Json out = Json::object();
  out["due"] = cause.due ? Json(localText(*cause.due)) : Json(nullptr);
  out["started"] = startedMs ? Json(localMillisText(*startedMs)) : Json(nullptr);
  if (cause.due && startedMs)
    out["lateMs"] = *startedMs - epochMillisOfLocal(*cause.due);
  out["source"] = soundSourceName(cause.source);
  out["timetable"] = cause.timetableId;
  out["signalId"] = signalId;
  out["name"] = name;
  out["outcome"] = skipped ? "skipped" : failure ? "failed" : "started";
  if (skipped)
    out["reason"] = *skipped;
  else if (failure)
    out["reason"] = *failure;
  if (failedMs)
    out["failedAt"] = localMillisText(*failedMs);
  return out;
}

SoundLog::SoundLog(std::filesystem::path directory, WallClock wallClock)
    : directory_(std::move(directory)), wallClock_(std::move(wallClock)) {
  last_ = newestOnDisk();
  writer_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

SoundLog::~SoundLog() {
  writer_.request_stop();
  changed_.notify_all();
}

long long SoundLog::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(wallClock_().time_since_epoch())
      .count();
}

std::filesystem::path SoundLog::fileOf(const Date& day) const {
  return directory_ / (day.asString() + std::string(FILE_SUFFIX));
}

Date SoundLog::dayOf(const SoundEntry& entry) const {
  if (entry.cause.due)
    return Date::fromTimeStruct(*entry.cause.due);
  return Date::fromTimeStruct(
      localOfMillis(entry.startedMs.value_or(entry.failedMs.value_or(nowMs()))));
}

void SoundLog::record(SoundEntry entry) noexcept {
  try {
    if (entry.failure && !entry.startedMs && !entry.failedMs)
      entry.failedMs = nowMs();
    Json line = entry.toJson();
    std::lock_guard lock(mutex_);
    last_ = std::move(line);
    if (queue_.size() >= MAX_QUEUED_SOUNDS) {
      if (!droppedReported_)
        spdlog::error("The sound log is behind: sounds started now are not logged");
      droppedReported_ = true;
      return;
    }
    queue_.push_back(std::move(entry));
    ++recorded_;
  } catch (const std::exception& e) {
    spdlog::error("A sound start could not be logged: {}", e.what());
    return;
  }
  changed_.notify_all();
}

void SoundLog::run(const std::stop_token& stop) {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, stop, [this] { return !queue_.empty(); });
    // Whatever was recorded is written before the log ends.
    if (queue_.empty())
      return;
    SoundEntry entry = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    write(entry);
    tellListeners(entry);
    lock.lock();
    ++written_;
    if (queue_.empty())
      droppedReported_ = false;
    changed_.notify_all();
  }
}

void SoundLog::addListener(Listener listener) {
  std::lock_guard lock(listenersMutex_);
  listeners_.push_back(std::move(listener));
}

void SoundLog::tellListeners(const SoundEntry& entry) noexcept {
  std::lock_guard lock(listenersMutex_);
  for (const auto& listener : listeners_) {
    try {
      listener(entry);
    } catch (const std::exception& e) {
      spdlog::error("A sound log listener failed: {}", e.what());
    }
  }
}

void SoundLog::write(const SoundEntry& entry) noexcept {
  try {
    const Date day = dayOf(entry);
    if (prunedOn_ != day) {
      removeOldFiles(day);
      prunedOn_ = day;
    }
    std::filesystem::create_directories(directory_);
    std::ofstream out(fileOf(day), std::ios::binary | std::ios::app);
    out << dumpReplacingInvalidUtf8(entry.toJson()) << '\n';
    out.flush();
    if (!out)
      throw std::runtime_error("cannot write " + fileOf(day).string());
    if (failureReported_)
      spdlog::info("The sound log is written again");
    failureReported_ = false;
  } catch (const std::exception& e) {
    if (!failureReported_)
      spdlog::error("The sound log cannot be written, the bells go on: {}", e.what());
    failureReported_ = true;
  }
}

void SoundLog::removeOldFiles(const Date& today) noexcept {
  const long long oldestKept = today.toDayNumber() - SOUND_LOG_KEEP_DAYS;
  std::error_code error;
  for (const auto& file : std::filesystem::directory_iterator(directory_, error)) {
    auto date = dateOfFileName(file.path());
    if (date && date->toDayNumber() < oldestKept) {
      std::error_code removeError;
      std::filesystem::remove(file.path(), removeError);
    }
  }
}

Json SoundLog::entriesOf(const Date& day) {
  {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = recorded_;
    changed_.wait_for(lock, QUERY_WAIT, [&] { return written_ >= target; });
  }
  // From the newest back, so that a long day reads only the part it answers with.
  std::vector<Json> newestFirst;
  std::size_t bytes = 0;
  BackwardLineReader lines(fileOf(day), MAX_LOG_LINE_BYTES);
  while (newestFirst.size() < MAX_ENTRIES_PER_QUERY) {
    std::optional<std::string> line = lines.previous();
    if (!line)
      break;
    std::optional<Json> entry = parseLine(*line);
    if (!entry)
      continue;
    bytes += line->size();
    if (bytes > MAX_QUERY_BYTES)
      break;
    newestFirst.push_back(std::move(*entry));
  }
  Json out = Json::array();
  for (auto entry = newestFirst.rbegin(); entry != newestFirst.rend(); ++entry)
    out.push_back(std::move(*entry));
  return out;
}

Json SoundLog::lastSound() const {
  std::lock_guard lock(mutex_);
  return last_;
}

Json SoundLog::newestOnDisk() const {
  std::optional<Date> newest;
  std::error_code error;
  for (const auto& file : std::filesystem::directory_iterator(directory_, error)) {
    auto date = dateOfFileName(file.path());
    if (date && (!newest || date->toDayNumber() > newest->toDayNumber()))
      newest = date;
  }
  if (!newest)
    return nullptr;
  BackwardLineReader lines(fileOf(*newest), MAX_LOG_LINE_BYTES);
  while (std::optional<std::string> line = lines.previous()) {
    if (std::optional<Json> entry = parseLine(*line))
      return std::move(*entry);
  }
  return nullptr;
}

}  // namespace veltrano
