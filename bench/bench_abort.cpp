// How long an abort takes to silence a playing file: from abortPlay to the exit of the player
// process, with the real mpg123 and aplay writing through an ALSA file device into a FIFO
// that is drained at the real-time rate of the audio, so the players block as on a sound card.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/Player.hpp"
#include "audio/platform/FilePlayerFactory.hpp"
#include "domain/Clock.hpp"
#include "foundation/Log.hpp"
#include "foundation/ProcessRunner.hpp"

namespace {

using SteadyClock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr int RATE = 44100;
constexpr int CHANNELS = 2;
constexpr int BYTES_PER_SECOND = RATE * CHANNELS * 2;
constexpr int RUNS = 15;

void writeToneWave(const std::filesystem::path& path, int seconds) {
  const std::uint32_t frames = static_cast<std::uint32_t>(RATE * seconds);
  const std::uint32_t dataSize = frames * CHANNELS * 2;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out << "RIFF";
  u32(36 + dataSize);
  out << "WAVEfmt ";
  u32(16);
  u16(1);
  u16(CHANNELS);
  u32(RATE);
  u32(BYTES_PER_SECOND);
  u16(CHANNELS * 2);
  u16(16);
  out << "data";
  u32(dataSize);
  for (std::uint32_t i = 0; i < frames; ++i) {
    auto s = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440.0 * i / RATE));
    for (int c = 0; c < CHANNELS; ++c) {
      out.write(reinterpret_cast<const char*>(&s), 2);
    }
  }
}

// The sound card: consumes the FIFO at the real-time rate of the audio while it plays, and
// drops what is still buffered once the abort reached the player, as a real card's abort does.
// Player programs may open and close the device more than once per file.
class Device {
 public:
  explicit Device(std::filesystem::path fifo) : fifo_(std::move(fifo)) {}

  void run() {
    while (true) {
      int fd = open(fifo_.c_str(), O_RDONLY);
      if (stop_) {
        close(fd);
        return;
      }
      consume(fd);
      closedAt_ = SteadyClock::now();
      close(fd);
    }
  }
  // Blocks until this much sound has been played since the device was last opened.
  void waitForSound(std::int64_t bytes) const {
    while (bytesThisOpen_ < bytes) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void startRun() {
    aborted_ = false;
    bytesThisOpen_ = 0;
  }
  void aborted() { aborted_ = true; }
  SteadyClock::time_point closedAt() const { return closedAt_; }
  void shutDown() {
    stop_ = true;
    // Releases a reader waiting in open() for a writer.
    int fd = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      close(fd);
    }
  }

 private:
  void consume(int fd) {
    std::array<char, BYTES_PER_SECOND / 100> chunk{};  // 10 ms of sound
    auto next = SteadyClock::now();
    bytesThisOpen_ = 0;
    ssize_t got;
    while ((got = read(fd, chunk.data(), chunk.size())) > 0) {
      bytesThisOpen_ += got;
      if (!aborted_) {
        next += std::chrono::microseconds(10000 * got / static_cast<ssize_t>(chunk.size()));
        std::this_thread::sleep_until(next);
      }
    }
  }

  std::filesystem::path fifo_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> aborted_{false};
  std::atomic<std::int64_t> bytesThisOpen_{0};
  std::atomic<SteadyClock::time_point> closedAt_{};
};

// Passes everything to the real file player and notes when the abort reaches it; from then
// on the device drops what is buffered.
class Timed final : public veltrano::FilePlayer {
 public:
  Timed(std::unique_ptr<veltrano::FilePlayer> real, Device& device,
        std::atomic<SteadyClock::time_point>& terminatedAt)
      : real_(std::move(real)), device_(device), terminatedAt_(terminatedAt) {}
  void startPlay(const std::string& path) override { real_->startPlay(path); }
  bool isPlaying() override { return real_->isPlaying(); }
  void closeFile(bool wasAborted) override {
    if (wasAborted) {
      terminatedAt_ = SteadyClock::now();
      device_.aborted();
    }
    real_->closeFile(wasAborted);
  }

 private:
  std::unique_ptr<veltrano::FilePlayer> real_;
  Device& device_;
  std::atomic<SteadyClock::time_point>& terminatedAt_;
};

// The one child process of this program, as listed in /proc; -1 when there is none.
pid_t onlyChild() {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) {
      continue;
    }
    auto close = line.rfind(')');
    if (close != std::string::npos && close + 4 < line.size() &&
        std::stol(line.substr(close + 4)) == getpid()) {
      return static_cast<pid_t>(std::stol(line));
    }
  }
  return -1;
}

// Waits until the process has exited (a zombie, or already reaped); returns that moment.
SteadyClock::time_point waitForExit(pid_t pid) {
  std::string statPath = "/proc/" + std::to_string(pid) + "/stat";
  while (true) {
    std::ifstream stat(statPath);
    std::string line;
    if (!std::getline(stat, line) || line[line.rfind(')') + 2] == 'Z') {
      return SteadyClock::now();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void report(const std::string& what, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  std::printf("%-29s runs %zu  min %.1f ms  median %.1f ms  p90 %.1f ms  max %.1f ms\n",
              what.c_str(), samples.size(), samples.front(), samples[samples.size() / 2],
              samples[samples.size() * 9 / 10], samples.back());
}

}  // namespace

int main() {
  veltrano::configureLogging(false);
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("veltrano-bench-abort-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::path fifo = dir / "device.fifo";
  mkfifo(fifo.c_str(), 0600);
  std::ofstream(dir / ".asoundrc") << "pcm.!default { type file; slave.pcm \"null\"; file \""
                                   << fifo.string() << "\"; format \"raw\" }\n";
  setenv("HOME", dir.c_str(), 1);

  fs::path wave = dir / "tone.wav";
  fs::path mp3 = dir / "tone.mp3";
  writeToneWave(wave, 20);
  auto encoded = veltrano::runProcess({"lame", "--quiet", wave.string(), mp3.string()});
  if (!encoded.started || encoded.exitStatus != 0) {
    std::fprintf(stderr, "lame is needed to make the MP3\n");
    return 1;
  }

  veltrano::Clock clock;
  Device device(fifo);
  std::atomic<SteadyClock::time_point> terminatedAt{};
  auto platform = veltrano::platformFilePlayerFactory();
  veltrano::Player player(clock, [&]() -> std::unique_ptr<veltrano::FilePlayer> {
    return std::make_unique<Timed>(platform(), device, terminatedAt);
  });
  std::thread deviceThread([&] { device.run(); });
  for (const fs::path& file : {mp3, wave}) {
    std::vector<double> untilTerminate, terminateToExit, untilExit, untilThreadEnd;
    for (int run = 0; run < RUNS; ++run) {
      device.startRun();
      auto thread = player.playAudioFile(file.string());
      device.waitForSound(BYTES_PER_SECOND / 5);
      // Abort at a different point of the 50 ms poll each run.
      std::this_thread::sleep_for(std::chrono::milliseconds(7 * run));
      pid_t child = onlyChild();
      auto abortAt = SteadyClock::now();
      thread->abortPlay();
      auto exitedAt = waitForExit(child);
      thread->waitForEnd();
      auto endedAt = SteadyClock::now();
      untilTerminate.push_back(Millis(terminatedAt.load() - abortAt).count());
      terminateToExit.push_back(Millis(exitedAt - terminatedAt.load()).count());
      untilExit.push_back(Millis(exitedAt - abortAt).count());
      untilThreadEnd.push_back(Millis(endedAt - abortAt).count());
    }
    std::string name = file.extension() == ".mp3" ? "mpg123" : "aplay";
    report(name + " abort -> SIGTERM sent", untilTerminate);
    report(name + " SIGTERM -> exited", terminateToExit);
    report(name + " abort -> exited", untilExit);
    report(name + " abort -> thread ended", untilThreadEnd);
  }
  device.shutDown();
  deviceThread.join();
  fs::remove_all(dir);
  return 0;
}
