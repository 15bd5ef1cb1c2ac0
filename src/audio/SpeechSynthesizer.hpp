#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrano {

// Characters one announcement may have: about two minutes of speech.
inline constexpr std::size_t MAX_SPOKEN_TEXT_CHARACTERS = 1000;

// One installed voice: the id the synthesizer takes ("en-gb") and a name for people.
struct Voice {
  std::string id;
  std::string name;
};

// The synthesizer is missing or failed: nothing the user typed is at fault.
class SpeechError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Speaks typed text into WAVE files with espeak-ng, run as a child process without a shell.
// Starts child processes: callers must not hold the store lock. Thread-safe.
class SpeechSynthesizer {
 public:
  // program: the synthesizer looked up on the search path; locale: the system's ("de_DE.UTF-8"),
  // which picks the default voice.
  explicit SpeechSynthesizer(std::string program = "espeak-ng",
                             std::string locale = systemLocale());

  // The installed voices, asked once and then remembered. SpeechError when the synthesizer
  // cannot be run.
  std::vector<Voice> voices();
  // The installed voice of the locale's language (or one of its variants), else English.
  std::string defaultVoice();

  // Checks text and voice (std::invalid_argument with the reason: empty, too long, not UTF-8,
  // unknown voice) and writes the speech to path, replacing it in one step. SpeechError when
  // the synthesizer fails; no file is left behind then. Calls may overlap, even for one path:
  // each works in a private directory beside path, and the last to finish is left there.
  void synthesize(const std::string& text, const std::string& voice,
                  const std::filesystem::path& path);

  // LC_ALL, LC_MESSAGES or LANG, the first that is set.
  static std::string systemLocale();

 private:
  const std::string program_;
  const std::string locale_;
  std::mutex mutex_;
  std::optional<std::vector<Voice>> voices_;  // protected by mutex_
};

// Voices from the synthesizer's listing ("espeak-ng --voices"), in its order, each id once.
std::vector<Voice> parseVoiceList(const std::string& listing);

}  // namespace veltrano
