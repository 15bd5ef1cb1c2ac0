#include "audio/SpeechSynthesizer.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>
#include <sstream>
#include <system_error>

#include "foundation/AtomicFile.hpp"
#include "foundation/PrivateDirectory.hpp"
#include "foundation/ProcessRunner.hpp"
#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool isBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::isspace(c) != 0; });
}

}  // namespace

std::vector<Voice> parseVoiceList(const std::string& listing) {
  std::vector<Voice> voices;
  std::set<std::string> seen;
  std::istringstream lines(listing);
  std::string line;
  std::getline(lines, line);  // the column heads
  while (std::getline(lines, line)) {
    // Pty Language Age/Gender VoiceName File [Other languages]
    std::istringstream columns(line);
    std::string priority, language, ageGender, name;
    if (!(columns >> priority >> language >> ageGender >> name))
      continue;
    std::replace(name.begin(), name.end(), '_', ' ');
    if (seen.insert(language).second)
      voices.push_back(Voice{language, name});
  }
  return voices;
}

SpeechSynthesizer::SpeechSynthesizer(std::string program, std::string locale)
    : program_(std::move(program)), locale_(std::move(locale)) {}

std::string SpeechSynthesizer::systemLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value)
      return value;
  }
  return "";
}

std::vector<Voice> SpeechSynthesizer::voices() {
  std::lock_guard lock(mutex_);
  if (voices_)
    return *voices_;
  ProcessOutcome outcome = runProcess({program_, "--voices"});
  if (!outcome.started)
    throw SpeechError("The speech synthesizer " + program_ + " is not installed");
  if (outcome.exitStatus != 0)
    throw SpeechError("The speech synthesizer could not list its voices");
  auto parsed = parseVoiceList(outcome.standardOutput);
  // Only a listing that worked is remembered; a later call may try again.
  if (!parsed.empty())
    voices_ = parsed;
  return parsed;
}

std::string SpeechSynthesizer::defaultVoice() {
  auto installed = voices();
  auto has = [&](const std::string& id) {
    return std::any_of(installed.begin(), installed.end(),
                       [&](const Voice& v) { return v.id == id; });
  };
  // "de_DE.UTF-8" → "de-de", then "de".
  std::string locale = lowerCase(locale_.substr(0, locale_.find_first_of(".@")));
  std::replace(locale.begin(), locale.end(), '_', '-');
  if (!locale.empty() && locale != "c" && locale != "posix") {
    if (has(locale))
      return locale;
    std::string language = locale.substr(0, locale.find('-'));
    if (has(language))
      return language;
    // English has many variants ("en-029" lists first); its fallback order comes below.
    for (const Voice& voice : installed) {
      if (language != "en" && voice.id.starts_with(language + "-"))
        return voice.id;
    }
  }
  for (const char* english : {"en", "en-gb", "en-us"}) {
    if (has(english))
      return english;
  }
  return installed.empty() ? "en" : installed.front().id;
}

void SpeechSynthesizer::synthesize(const std::string& text, const std::string& voice,
                                   const std::filesystem::path& path) {
  if (!isValidUtf8(text))
    throw std::invalid_argument("The text is not UTF-8");
  if (isBlank(text))
    throw std::invalid_argument("The text is empty");
  if (utf8Length(text) > MAX_SPOKEN_TEXT_CHARACTERS) {
    throw std::invalid_argument("The text is too long (at most " +
                                std::to_string(MAX_SPOKEN_TEXT_CHARACTERS) + " characters)");
  }
  auto installed = voices();
  if (std::none_of(installed.begin(), installed.end(),
                   [&](const Voice& v) { return v.id == voice; })) {
    throw std::invalid_argument("Unknown voice: " + voice);
  }

  // The text goes in a file, so nothing in it can read as an option; the speech goes to a
  // work file first, so a failure never leaves a half-written announcement. Each call has its
  // own directory beside the target (one file system, so the rename is one step): requests
  // that overlap never share a work file.
  PrivateDirectory work(path.parent_path(), ".speech-");
  auto input = work.path() / "text.txt";
  auto output = work.path() / "speech.wav";
  writeFileAtomically(input, text);
  ProcessOutcome outcome =
      runProcess({program_, "-v", voice, "-b", "1", "-w", output.string(), "-f", input.string()});
  if (!outcome.started)
    throw SpeechError("The speech synthesizer " + program_ + " is not installed");
  std::error_code error;
  auto size = std::filesystem::file_size(output, error);
  if (outcome.exitStatus != 0 || error || size == 0) {
    throw SpeechError("The speech synthesizer failed (exit status " +
                      std::to_string(outcome.exitStatus) + ")");
  }
  std::filesystem::rename(output, path);
}

}  // namespace veltrano
