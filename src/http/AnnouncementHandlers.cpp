#include "http/AnnouncementHandlers.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "audio/platform/AudioLength.hpp"
#include "foundation/Crypto.hpp"
#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

// The file of the announcement spoken now; the next one replaces it.
constexpr const char* SPOKEN_NOW_FILE = "spoken-announcement.wav";
constexpr std::size_t SPOKEN_NAME_CHARACTERS = 60;

struct SpeakRequest {
  std::string text;
  std::string voice;
  std::optional<std::pair<Date, TimeOfDay>> at;
};

std::optional<std::pair<Date, TimeOfDay>> parseAt(const std::string& text) {
  // "2026-03-09T10:15:00"; seconds may be left out.
  auto fail = [&] {
    return BadRequest("Invalid time: " + text + " (expected YYYY-MM-DDTHH:MM:SS)");
  };
  if (text.size() < 16 || text[10] != 'T')
    throw fail();
  try {
    return std::pair{parseIsoDate(text.substr(0, 10)), TimeOfDay::decode(text.substr(11))};
  } catch (const std::exception&) {
    throw fail();
  }
}

SpeakRequest readRequest(HttpContext& context, const std::string& body) {
  Json json = parseRequestJson(body);
  if (json.is_discarded() || !json.is_object())
    throw BadRequest("The announcement needs a JSON object with a \"text\"");
  SpeakRequest request;
  auto text = json.find("text");
  if (text == json.end() || !text->is_string())
    throw BadRequest("The announcement needs a \"text\"");
  request.text = text->get<std::string>();
  auto voice = json.find("voice");
  if (voice != json.end() && !voice->is_null() && !voice->is_string())
    throw BadRequest("\"voice\" must be a voice id or null");
  try {
    request.voice = voice != json.end() && voice->is_string() ? voice->get<std::string>()
                                                              : context.speech.defaultVoice();
  } catch (const SpeechError& e) {
    throw HttpError(500, e.what());
  }
  auto at = json.find("at");
  if (at != json.end() && !at->is_null()) {
    if (!at->is_string())
      throw BadRequest("\"at\" must be a date and time or null");
    request.at = parseAt(at->get<std::string>());
  }
  return request;
}

void synthesize(HttpContext& context, const SpeakRequest& request,
                const std::filesystem::path& path) {
  try {
    context.speech.synthesize(request.text, request.voice, path);
  } catch (const std::invalid_argument& e) {
    throw BadRequest(e.what());
  } catch (const SpeechError& e) {
    throw HttpError(500, e.what());
  }
}

// Removes the spoken file unless the request got as far as handing it on.
class SpokenFile {
 public:
  explicit SpokenFile(std::filesystem::path path) : path_(std::move(path)) {}
  ~SpokenFile() {
    if (path_.empty())
      return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  SpokenFile(const SpokenFile&) = delete;
  SpokenFile& operator=(const SpokenFile&) = delete;
  void keep() noexcept { path_.clear(); }

 private:
  std::filesystem::path path_;
};

bool isPast(const Date& date, const TimeOfDay& time, const ClockValue& now) {
  long long day = date.toDayNumber();
  long long today = Date::fromTimeStruct(now).toDayNumber();
  return day < today ||
         (day == today && time.toSecondsOfDay() <= TimeOfDay::fromTimeStruct(now).toSecondsOfDay());
}

}  // namespace

void announcements_speak(HttpContext& context, Exchange& exchange) {
  SpeakRequest request = readRequest(context, exchange.request().body);

  if (!request.at) {
    auto path = context.paths.getUserFilePath(SPOKEN_NOW_FILE);
    synthesize(context, request, path);
    auto access = context.stores.lock();
    std::string name = truncateUtf8(request.text, SPOKEN_NAME_CHARACTERS);
    if (!context.songs.playAnnouncement(access.db(), path.string(), name))
      throw HttpError(500, "The announcement could not be played");
    exchange.json(true);
    return;
  }

  auto [date, time] = *request.at;
  if (isPast(date, time, context.clock.getClock()))
    throw BadRequest("The time has already passed: " + date.asString() + " " + time.asString());
  std::string id = randomUuid();
  std::string filename = id + ".wav";
  auto path = context.paths.getUserFilePath(filename);
  synthesize(context, request, path);
  SpokenFile spoken(path);

  AudioAsset asset;
  asset.name = truncateUtf8(request.text, SPOKEN_NAME_CHARACTERS);
  asset.filename = filename;
  asset.lengthSec = getAudioLength(path.string());
  asset.md5 = md5HexOfFile(path.string());
  asset.storageCategory = AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT;
  Programme programme;
  programme.songId = id;
  programme.date = date;
  programme.time = time;
  programme.deleteAfterPlay = true;
  {
    auto access = context.stores.lock();
    DB& db = access.db();
    db.songs.add(std::move(asset), id);
    db.programmes.add(std::move(programme), id);
  }
  spoken.keep();
  exchange.json(id);
}

void announcements_preview(HttpContext& context, Exchange& exchange) {
  SpeakRequest request = readRequest(context, exchange.request().body);
  auto path = context.paths.getUserFilePath("preview-" + randomUuid() + ".wav");
  synthesize(context, request, path);
  SpokenFile spoken(path);
  std::ifstream in(path, std::ios::binary);
  std::string wave((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof())
    throw HttpError(500, "The spoken preview could not be read");
  exchange.response().setContent(std::move(wave), "audio/wav");
}

}  // namespace veltrano
