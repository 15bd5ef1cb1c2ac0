// What an idle player costs: runs the real program over a fresh data directory, lets it settle,
// then reads the CPU time of all its threads over a quiet period (default 60 s; set
// VELTRANO_IDLE_SECONDS) and prints it as a share of one core. Nothing rings and nobody
// calls it: only the scheduler's rounds run.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// Nanoseconds the process's threads have run on a CPU, from the scheduler's own accounting.
long long cpuNanoseconds(pid_t pid) {
  long long total = 0;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream in(task.path() / "schedstat");
    long long ran = 0;
    if (in >> ran)
      total += ran;
  }
  return total;
}

}  // namespace

int main(int, char** argv) {
  const char* secondsText = std::getenv("VELTRANO_IDLE_SECONDS");
  const int seconds = secondsText ? std::max(1, std::atoi(secondsText)) : 60;
  const std::filesystem::path binary =
      std::filesystem::absolute(argv[0]).parent_path().parent_path() / "veltrano-player";
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("veltrano-idle-" + std::to_string(getpid()));
  std::filesystem::create_directories(home);

  std::vector<std::string> environment = {"HOME=" + home.string(), "PATH=/usr/bin:/bin",
                                          "VELTRANO_SERVICE_URL=http://127.0.0.1:9"};
  std::vector<char*> envp;
  for (auto& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = binary.string(), portOption = "--port", port = "2299";
  std::vector<char*> args = {program.data(), portOption.data(), port.data(), nullptr};

  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), envp.data()) != 0) {
    std::perror("cannot start the player");
    return 1;
  }
  // Start-up (loading, the first saves, the remote check) is not idling.
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const auto wallStart = std::chrono::steady_clock::now();
  const long long cpuStart = cpuNanoseconds(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const long long cpuEnd = cpuNanoseconds(pid);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  std::filesystem::remove_all(home);

  const double cpu = static_cast<double>(cpuEnd - cpuStart) / 1e9;
  std::printf("idle player: %.4f s of CPU in %.1f s = %.4f %% of a core (target <= 0.02 %%)\n", cpu,
              wall, 100.0 * cpu / wall);
  return 0;
}
