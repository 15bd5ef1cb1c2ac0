#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace veltrano {

// Hands URLs to the user's default web browser (xdg-open on Linux, the shell's URL opener on
// Windows) without a shell and without waiting for the browser; whether it opened is not
// examined. Thread-safe.
class BrowserOpener {
 public:
  BrowserOpener() = default;
  // Stops watching launched openers; they keep running on their own.
  ~BrowserOpener();
  BrowserOpener(const BrowserOpener&) = delete;
  BrowserOpener& operator=(const BrowserOpener&) = delete;

  void open(const std::string& url);

 private:
  std::mutex mutex_;
  // Reap the launched helper processes (Linux); protected by mutex_.
  std::vector<std::jthread> reapers_;
};

}  // namespace veltrano
