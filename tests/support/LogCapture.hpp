#pragma once

#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace veltrano::test {

// Routes the default logger into memory for the lifetime of the object.
class LogCapture {
 public:
  explicit LogCapture(spdlog::level::level_enum level = spdlog::level::trace)
      : sink_(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(10000)),
        previous_(spdlog::default_logger()) {
    auto logger = std::make_shared<spdlog::logger>("capture", sink_);
    logger->set_pattern("%v");
    logger->set_level(level);
    spdlog::set_default_logger(logger);
  }
  ~LogCapture() { spdlog::set_default_logger(previous_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const {
    auto all = sink_->last_formatted();
    for (auto& line : all) {
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    }
    return all;
  }

  bool contains(const std::string& text) const {
    auto all = lines();
    return std::any_of(all.begin(), all.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
  }

 private:
  std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
  std::shared_ptr<spdlog::logger> previous_;
};

}  // namespace veltrano::test
