#pragma once

namespace veltrano {

// While it lives, asks the kernel to keep idle processors quick to wake: a processor in its
// deepest sleep, or a virtual one its host has parked, takes up to milliseconds to run a task
// woken on it, such as a player process handed its bell. Asked for only around a ringing
// second, so an idle player lets the processors sleep. Without the right to ask (the file is
// root's) it does nothing, and says so once.
class QuickWake {
 public:
  QuickWake() noexcept;
  ~QuickWake();
  QuickWake(const QuickWake&) = delete;
  QuickWake& operator=(const QuickWake&) = delete;

  // False when the kernel could not be asked.
  bool held() const noexcept { return request_ >= 0; }

 private:
  int request_ = -1;  // the open request; closing it withdraws it
};

}  // namespace veltrano
