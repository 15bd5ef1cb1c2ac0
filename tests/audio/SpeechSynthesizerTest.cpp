#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/SpeechSynthesizer.hpp"
#include "support/TempDir.hpp"

namespace veltrano::test {
namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A named pipe the test holds open both ways, so the fake synthesizers open it at once and
// lines written wait in it.
class Fifo {
 public:
  explicit Fifo(std::filesystem::path path) : path_(std::move(path)) {
    ::mkfifo(path_.c_str(), 0600);
    fd_ = ::open(path_.c_str(), O_RDWR);
  }
  ~Fifo() { ::close(fd_); }
  const std::filesystem::path& path() const { return path_; }
  void post(std::size_t lines) {
    EXPECT_GT(::write(fd_, std::string(lines, '\n').data(), lines), 0);
  }
  // False when the lines did not all come within ten seconds.
  bool await(std::size_t lines) {
    pollfd ready{fd_, POLLIN, 0};
    char c = 0;
    while (lines > 0 && ::poll(&ready, 1, 10000) == 1 && ::read(fd_, &c, 1) == 1)
      lines -= c == '\n';
    return lines == 0;
  }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

// Several announcements spoken into one file at once, as overlapping "speak now" requests do:
// every synthesizer has written its speech before any of them may finish.
TEST(SpeechSynthesizerTest, OverlappingCallsForOneFileEachSucceedAndLeaveNoWorkFiles) {
  TempDir temp;
  Fifo arrived(temp.path() / "arrived");
  Fifo release(temp.path() / "release");
  auto fake = temp.path() / "espeak-ng";
  std::ofstream(fake) << "#!/bin/sh\n"
                         "if [ \"$1\" = --voices ]; then\n"
                         "  echo 'Pty Language Age/Gender VoiceName File'\n"
                         "  echo ' 5  en-gb --/M English gmw/en'\n"
                         "  exit 0\nfi\n"
                         "stat -c %a \"$(dirname \"$6\")\" >> "
                      << temp.path() / "modes"
                      << "\ncp \"$8\" \"$6\"\necho >> " << arrived.path() << "\nread line < "
                      << release.path() << "\n! grep -q FAIL \"$8\"\n";
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
  auto out = temp.path() / "data";
  std::filesystem::create_directories(out);
  const auto target = out / "spoken-announcement.wav";

  SpeechSynthesizer speech(fake.string(), "en_GB.UTF-8");
  const std::vector<std::string> texts = {"Assembly in the hall", "Buses leave early",
                                          "FAIL this one", "Lunch is served"};
  std::vector<std::string> outcomes(texts.size());
  std::vector<std::thread> calls;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    calls.emplace_back([&, i] {
      try {
        speech.synthesize(texts[i], "en-gb", target);
        outcomes[i] = "ok";
      } catch (const std::exception& e) {
        outcomes[i] = e.what();
      }
    });
  }
  EXPECT_TRUE(arrived.await(texts.size()));
  release.post(texts.size());
  for (auto& call : calls)
    call.join();

  EXPECT_EQ(outcomes, (std::vector<std::string>{
                          "ok", "ok", "The speech synthesizer failed (exit status 1)", "ok"}));
  std::string spoken = readFile(target);
  EXPECT_TRUE(spoken == texts[0] || spoken == texts[1] || spoken == texts[3]) << spoken;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1);
  EXPECT_EQ(readFile(temp.path() / "modes"), "700\n700\n700\n700\n");
}

}  // namespace
}  // namespace veltrano::test
