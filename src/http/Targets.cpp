#include "http/Targets.hpp"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include "audio/Utf8Path.hpp"
#include "audio/platform/AudioLength.hpp"
#include "foundation/ClockDiscipline.hpp"
#include "foundation/Crypto.hpp"
#include "foundation/Utf8.hpp"
#include "http/CalendarImportHandlers.hpp"
#include "http/CalendarSubscriptionHandlers.hpp"
#include "http/UploadHandlers.hpp"
#include "scheduling/MonthView.hpp"
#include "scheduling/SoundTriggering.hpp"
#include "scheduling/TimetableInfo.hpp"
#include "storage/SignalReferences.hpp"

namespace veltrano {
namespace {

std::string argument(const QueryArguments& args, const std::string& name) {
  auto found = args.find(name);
  if (found == args.end())
    throw std::invalid_argument("Missing query argument: " + name);
  return found->second;
}

std::string argumentsText(const QueryArguments& args) {
  Json object = Json::object();
  for (const auto& [name, value] : args)
    object[name] = value;
  return jsonText(object);
}

Json timetableList(const DB& db) {
  Json list = Json::array();
  for (const auto& [key, timetable] : db.timetables) {
    list.push_back(Json{{"name", timetable.name}, {"id", key}});
  }
  return list;
}

// Deletes a user file that belongs to a removed record. A file that is already gone, or a
// stored name that could not lie in the user directory, leaves nothing to delete; any other
// failure is reported before the record is touched.
void deleteUserFileIfPresent(const Paths& paths, const std::string& filename) {
  if (filename.empty())
    return;
  std::filesystem::path path;
  try {
    path = paths.getUserFilePath(filename);
  } catch (const std::invalid_argument& e) {
    spdlog::warn(std::string("Not deleting a file with an invalid name: ") + e.what());
    return;
  }
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    spdlog::warn("File to delete does not exist: " + path.string());
    return;
  }
  paths.removeUserFile(filename);
}

// A delete by position that names the event it means, so a page with an outdated list can
// never delete a neighbour.
const char* const CALENDAR_CHANGED = "The calendar changed; reload";

std::optional<std::string> optionalArgument(const QueryArguments& args, const std::string& name) {
  auto found = args.find(name);
  if (found == args.end())
    return std::nullopt;
  return found->second;
}

bool differs(const std::optional<std::string>& expected, const std::string& actual) {
  return expected && *expected != actual;
}

bool differs(const std::optional<std::string>& expected, const Date& actual, const char* name) {
  if (!expected)
    return false;
  try {
    return Date::decode(*expected) != actual;
  } catch (const std::exception&) {
    throw std::invalid_argument(std::string("Invalid date for ") + name + ": " + *expected);
  }
}

bool differs(const std::optional<std::string>& expected, int actual, const char* name) {
  return expected && parseInteger(*expected, name) != actual;
}

bool mismatches(const SingleCalendarEvent& event, const QueryArguments& args) {
  // Every argument is checked, so a malformed one is reported whatever the others say.
  bool timetable = differs(optionalArgument(args, "expectTimetableId"), event.timeTableId);
  bool start = differs(optionalArgument(args, "expectStart"), event.start, "expectStart");
  bool end = differs(optionalArgument(args, "expectEnd"), event.end, "expectEnd");
  return timetable || start || end;
}

bool mismatches(const ReoccurringCalendarEvent& event, const QueryArguments& args) {
  bool timetable = differs(optionalArgument(args, "expectTimetableId"), event.timeTableId);
  bool mode =
      differs(optionalArgument(args, "expectMode"), static_cast<int>(event.mode), "expectMode");
  bool days = differs(optionalArgument(args, "expectDays"), event.days, "expectDays");
  return timetable || mode || days;
}

bool expectsAny(const QueryArguments& args) {
  for (const char* name :
       {"expectTimetableId", "expectStart", "expectEnd", "expectMode", "expectDays"}) {
    if (args.count(name))
      return true;
  }
  return false;
}

template <class Vector>
void eraseAt(Vector& list, const std::string& id, const QueryArguments& args) {
  int index = parseInteger(id, "id");
  bool inRange = index >= 0 && static_cast<std::size_t>(index) < list.size();
  if (expectsAny(args) && (!inRange || mismatches(list[index], args)))
    throw HttpError(409, CALENDAR_CHANGED);
  if (!inRange)
    throw std::out_of_range("Index out of range: " + id);
  list.erase(list.begin() + index);
}

// Views -------------------------------------------------------------------------------------

template <class Record>
Json saveErrorOf(const StorageWrapper<Record>& store, const char* fileName) {
  const auto& error = store.saveError();
  if (!error)
    return nullptr;
  Json out = Json::object();
  out["store"] = fileName;
  out["reason"] = error->reason;
  out["since"] = error->since;
  return out;
}

Json saveError(HttpContext& context) {
  auto access = context.stores.lock();
  return firstSaveError(access);
}

Json clockDiscipline();

Json status(HttpContext& context) {
  Json out = Json::object();
  out["time"] = context.clock.getTimeString();
  out["isPlaying"] = context.player.isPlaying();
  out["version"] = context.paths.getVersion();
  TimeZone zone = localTimeZone();
  out["timeZone"] = Json{{"name", zone.name}, {"utcOffsetSec", zone.utcOffsetSec}};
  out["saveError"] = saveError(context);
  out["clock"] = clockDiscipline();
  out["lastSound"] = context.soundLog.lastSound();
  return out;
}

// Bells follow this computer's clock: the dashboard warns when nothing keeps it right.
Json clockDiscipline() {
  auto discipline = readClockDiscipline();
  if (!discipline)
    return nullptr;
  Json out = Json::object();
  out["synchronised"] = discipline->synchronised;
  out["estimatedErrorMs"] =
      discipline->estimatedErrorMs ? Json(*discipline->estimatedErrorMs) : Json(nullptr);
  return out;
}

// The sounds of a day (default: today) in the order they started.
Json history(HttpContext& context, const QueryArguments& args) {
  auto date = args.find("date");
  const Date day = date == args.end() ? Date::fromTimeStruct(context.clock.getClock())
                                      : Date::decode(date->second);
  return context.soundLog.entriesOf(day);
}

Json info(HttpContext& context) {
  Json out = Json::object();
  out["version"] = context.paths.getVersion();
  out["internetAccess"] = context.api.networkState() == NetworkState::OK;
  out["maxUploadBytes"] = MAX_UPLOAD_BYTES;
  out["language"] = *context.language;
  return out;
}

// The songs whose audio file is gone: a bell set to one of them stays silent.
Json missingAudioFiles(HttpContext& context) {
  auto access = context.stores.lock();
  Json ids = Json::array();
  for (const auto& [id, song] : access.db().songs) {
    std::error_code error;
    bool present = false;
    try {
      present = std::filesystem::is_regular_file(pathFromUtf8(context.songs.getSongAssetPath(song)),
                                                 error);
    } catch (const std::invalid_argument&) {
      // A stored name that cannot lie in the user directory has no file either.
    }
    if (!present)
      ids.push_back(id);
  }
  return ids;
}

Json overview(HttpContext& context) {
  auto access = context.stores.lock();
  const DB& db = access.db();
  ClockValue now = context.clock.getClock();
  Json out = Json::object();
  out["passwordMissing"] = !access.shadow().isPasswordSet();
  out["timetables"] = timetableList(db);
  out["activeTimetableInfo"] = getActiveTimetableInfo(db, access.cache(), now).asJson();
  // While the bells are off: the timetable whose bells do not ring today ("NULL" for none).
  out["silencedTimetableId"] = db.settings.schedulerEnable
                                   ? Json(nullptr)
                                   : Json(scheduledTimetableId(db, access.cache(), now));
  out["time"] = context.clock.getTimeString();
  out["isRelease"] = context.paths.isRelease();
  out["alarmActive"] = context.alarm.isActive();
  out["calendar"] = getCalendarInfoForMonth(db, access.cache(), now);
  return out;
}

Json signals(HttpContext& context) {
  auto access = context.stores.lock();
  return access.db().songs.asTable([](const AudioAsset& asset) { return asset.isSignal(); });
}

Json programmeInfo(HttpContext& context) {
  auto access = context.stores.lock();
  const DB& db = access.db();
  Json programmes = db.programmes.asTable();
  for (auto& entry : programmes) {
    // A programme whose song is gone stays listed, so that it can still be seen and deleted.
    const AudioAsset* song = db.songs.find(entry["songId"].get<std::string>());
    entry["programName"] = song ? song->name : std::string(MISSING_SONG_NAME);
    entry["lengthSec"] = song ? song->lengthSec : -1;
  }
  Json out = Json::object();
  out["programmes"] = std::move(programmes);
  out["date"] = context.clock.getDateString();
  return out;
}

Json settings(HttpContext& context) {
  auto access = context.stores.lock();
  return toAttributeMap(access.db().settings);
}

Json calendarInfo(HttpContext& context) {
  auto access = context.stores.lock();
  const DB& db = access.db();
  Json out = toDict(db.settings.calendar);
  out["timetables"] = timetableList(db);
  out["regions"] = access.cache().calendarRegions.asTable();
  out["lastUpdate"] = access.cache().calendarLastUpdated;
  out["date"] = context.clock.getDateString();
  // singleEvents and reoccurringEvents are already members of the encoding, in place.
  out["defaultTimetableId"] = db.settings.defaultTimetableId;
  return out;
}

Json calendarDays(HttpContext& context, const QueryArguments& args) {
  int offset = parseInteger(argument(args, "offset"), "offset");
  auto access = context.stores.lock();
  return getCalendarInfoForMonth(access.db(), access.cache(), context.clock.getClock(), offset);
}

// The synthesizer's voices, the default one first.
Json voices(HttpContext& context) {
  auto installed = context.speech.voices();
  std::string preferred = context.speech.defaultVoice();
  std::stable_partition(installed.begin(), installed.end(),
                        [&](const Voice& voice) { return voice.id == preferred; });
  Json out = Json::array();
  for (const auto& voice : installed)
    out.push_back(Json{{"id", voice.id}, {"name", voice.name}});
  return out;
}

// Actions -----------------------------------------------------------------------------------

// replaceWith, when given, is the signal (or "NULL") that plays instead wherever it played;
// replacing and deleting happen under one lock, so no bell is ever left between the two.
void deleteSignal(HttpContext& context, const std::string& id, const QueryArguments& args) {
  std::string replacement = optionalArgument(args, "replaceWith").value_or("NULL");
  auto access = context.stores.lock();
  DB& db = access.db();
  const AudioAsset* asset = db.songs.find(id);
  if (!asset)
    throw std::out_of_range("Unknown signal: " + id);
  // Without these the alarm button or every announcement would silently play nothing.
  if (id == db.settings.alarmSignalId) {
    throw std::invalid_argument("\"" + asset->name +
                                "\" is the alarm signal and cannot be deleted. Choose another "
                                "alarm signal under Settings first.");
  }
  if (id == db.settings.announcementSignalId) {
    throw std::invalid_argument("\"" + asset->name +
                                "\" is the announcement lead-in signal and cannot be deleted. "
                                "Choose another lead-in signal under Settings first.");
  }
  if (replacement != "NULL") {
    const AudioAsset* other = db.songs.find(replacement);
    if (replacement == id || !other || !other->isSignal())
      throw std::invalid_argument("Unknown replacement signal: " + replacement);
  }
  int released = replaceSongReferences(db, id, replacement);
  if (released > 0) {
    spdlog::info("Signal " + id + " deleted; " + std::to_string(released) +
                 (replacement == "NULL" ? " bell(s) that played it now play nothing"
                                        : " bell(s) that played it now play " + replacement));
  }
  if (asset->storageCategory != AudioAssetCategory::BUILT_IN_SIGNAL) {
    deleteUserFileIfPresent(context.paths, asset->filename);
  }
  db.songs.remove(id);
}

void deleteProgramme(HttpContext& context, const std::string& id) {
  auto access = context.stores.lock();
  DB& db = access.db();
  const Programme* programme = db.programmes.find(id);
  if (!programme)
    throw std::out_of_range("Unknown programme: " + id);
  std::string songId = programme->songId;
  const AudioAsset* song = db.songs.find(songId);
  bool sharedSong = false;
  for (const auto& [key, other] : db.programmes) {
    if (key != id && other.songId == songId)
      sharedSong = true;
  }
  // A built-in signal or a song another programme still plays stays.
  bool dropSong =
      song && !sharedSong && song->storageCategory != AudioAssetCategory::BUILT_IN_SIGNAL;
  if (dropSong)
    deleteUserFileIfPresent(context.paths, song->filename);
  db.programmes.remove(id);
  if (dropSong)
    db.songs.remove(songId);
}

void playSignal(HttpContext& context, const std::string& id) {
  auto access = context.stores.lock();
  const DB& db = access.db();
  const AudioAsset* song = db.songs.find(id);
  if (id != "NULL" && song == nullptr)
    throw std::out_of_range("Unknown signal: " + id);
  SoundCause cause{SoundSource::SIGNAL, "", std::nullopt};
  if (song && song->storageCategory == AudioAssetCategory::PROGRAMME)
    cause.source = SoundSource::SONG;
  else if (song && song->storageCategory == AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT)
    cause.source = SoundSource::ANNOUNCEMENT;
  context.songs.playSongById(db, id, 1, 0.0, cause);
}

// Silences everything at once, the alarm included.
void stopAll(HttpContext& context) {
  {
    auto access = context.stores.lock();
    context.alarm.setActive(access.db(), false);
  }
  context.player.stopAll();
}

void deleteTimetable(HttpContext& context, const std::string& id) {
  auto access = context.stores.lock();
  auto& timetables = access.db().timetables;
  if (!timetables.contains(id))
    throw std::out_of_range("Unknown timetable: " + id);
  timetables.remove(id);
}

void download(HttpContext& context, const std::string& id, const std::filesystem::path& path) {
  auto result = context.api.downloadAnnouncement(id, path);
  if (!result.isOk()) {
    spdlog::debug("Announcement " + id + " not downloaded: " + toText(result.getError()));
    throw std::runtime_error("Failed to download announcement");
  }
}

// The store lock is taken only after the download has finished.
void announce(HttpContext& context, const std::string& id) {
  auto path = context.paths.getUserFilePath("announcement.mp3");
  download(context, id, path);
  auto access = context.stores.lock();
  context.songs.playAnnouncement(access.db(), path.string());
}

void announceProgrammed(HttpContext& context, const std::string& id) {
  auto path = context.paths.getUserFilePath(id + ".mp3");
  // The file of an asset already stored under this id must not be overwritten.
  if (context.stores.lock().db().songs.contains(id))
    throw KeyError("Key already exists");
  download(context, id, path);
}

void scheduleProgrammedAnnouncement(HttpContext& context, const std::string& id,
                                    const QueryArguments& args) {
  std::string filename = id + ".mp3";
  auto path = context.paths.getUserFilePath(filename);
  std::string programName = argument(args, "programName");
  std::string date = argument(args, "date");
  std::string time = argument(args, "time");
  // Built before anything is stored, so a bad date or time leaves no song behind.
  Programme programme = Programme::fromUserInput(id, date, time);

  AudioAsset asset;
  asset.name = programName;
  asset.filename = filename;
  asset.lengthSec = getAudioLength(path.string());
  asset.md5 = md5HexOfFile(path.string());
  asset.storageCategory = AudioAssetCategory::PROGRAMMED_ANNOUNCEMENT;

  auto access = context.stores.lock();
  DB& db = access.db();
  if (db.songs.contains(id) || db.programmes.contains(id))
    throw KeyError("Key already exists");
  db.songs.add(std::move(asset), id);
  db.programmes.add(std::move(programme), id);
}

void addSingleEvent(HttpContext& context, const QueryArguments& args) {
  auto event = SingleCalendarEvent::fromUserInput(
      argument(args, "timetableId"), argument(args, "startDate"), argument(args, "endDate"));
  // The name is optional: callers from before names existed send none.
  if (auto name = args.find("name"); name != args.end()) {
    if (!isValidUtf8(name->second) || utf8Length(name->second) > MAX_EVENT_NAME_CHARACTERS) {
      throw std::invalid_argument("An event name must be UTF-8 text of at most " +
                                  std::to_string(MAX_EVENT_NAME_CHARACTERS) + " characters");
    }
    event.name = name->second;
  }
  auto access = context.stores.lock();
  auto& events = access.db().settings.calendar.singleEvents;
  events.insert(events.begin(), std::move(event));
}

void addReoccurringEvent(HttpContext& context, const QueryArguments& args) {
  auto event = ReoccurringCalendarEvent::fromUserInput(
      argument(args, "timetableId"), parseInteger(argument(args, "mode"), "mode"),
      parseInteger(argument(args, "days"), "days"));
  auto access = context.stores.lock();
  auto& events = access.db().settings.calendar.reoccurringEvents;
  events.insert(events.begin(), std::move(event));
}

}  // namespace

Json firstSaveError(Stores::Access& access) {
  for (Json error : {saveErrorOf(access.dbStore(), "_db.json"),
                     saveErrorOf(access.shadowStore(), "_shadow.json"),
                     saveErrorOf(access.cacheStore(), "cache.json")}) {
    if (!error.is_null())
      return error;
  }
  return nullptr;
}

Json get_target(HttpContext& context, const std::string& target, const QueryArguments& args) {
  if (target == "status")
    return status(context);
  if (target == "info")
    return info(context);
  if (target == "overview")
    return overview(context);
  if (target == "signals")
    return signals(context);
  if (target == "programmeInfo")
    return programmeInfo(context);
  if (target == "settings")
    return settings(context);
  if (target == "calendarInfo")
    return calendarInfo(context);
  if (target == "calendarDays")
    return calendarDays(context, args);
  if (target == "calendarSubscriptions")
    return calendarSubscriptionList(context);
  if (target == "missingAudioFiles")
    return missingAudioFiles(context);
  if (target == "voices")
    return voices(context);
  if (target == "history")
    return history(context, args);
  throw std::invalid_argument("Unknown target: " + target);
}

std::optional<Json> trigger_target(HttpContext& context, const std::string& target,
                                   const std::string& id, const QueryArguments& args) {
  if (target == "alarmOn" || target == "alarmOff") {
    auto access = context.stores.lock();
    bool active = context.alarm.setActive(access.db(), target == "alarmOn");
    return Json{{"alarmActive", active}};
  }
  if (target == "stopAll") {
    stopAll(context);
    return Json(true);
  }
  if (target == "deleteSignal") {
    deleteSignal(context, id, args);
  } else if (target == "deleteProgramme") {
    deleteProgramme(context, id);
  } else if (target == "deleteSingleEvent") {
    eraseAt(context.stores.lock().db().settings.calendar.singleEvents, id, args);
  } else if (target == "deleteReoccurringEvent") {
    eraseAt(context.stores.lock().db().settings.calendar.reoccurringEvents, id, args);
  } else if (target == "playSignal") {
    playSignal(context, id);

  } else if (target == "deleteTimetable") {
    deleteTimetable(context, id);
  } else if (target == "announce") {
    announce(context, id);
  } else if (target == "announceProgrammed") {
    announceProgrammed(context, id);
  } else if (target == "addSingleEvent") {
    addSingleEvent(context, args);
  } else if (target == "addReoccurringEvent") {
    addReoccurringEvent(context, args);
  } else if (target == "scheduleProgrammedAnnouncement") {
    scheduleProgrammedAnnouncement(context, id, args);
  } else if (target == "toggleAlarm") {
    auto access = context.stores.lock();
    context.alarm.toggle(access.db());
  } else {
    throw std::invalid_argument("Unknown target: " + target);
  }
  return std::nullopt;
}

void get_endpoint(HttpContext& context, Exchange& exchange) {
  std::string target = exchange.pathParameter(1);
  if (spdlog::should_log(spdlog::level::debug)) {
    spdlog::debug("GET'" + target + "' with args: " + argumentsText(exchange.request().params));
  }
  Json answer;
  try {
    answer = get_target(context, target, exchange.request().params);
  } catch (const std::exception& e) {
    throw BadRequest(e.what());
  }
  exchange.json(answer);
}

void trigger_endpoint(HttpContext& context, Exchange& exchange) {
  std::string target = exchange.pathParameter(1);
  std::string id = exchange.pathParameter(2);
  spdlog::debug("TRIGGER '" + target + "' with id " + id);
  std::optional<Json> answer;
  try {
    answer = trigger_target(context, target, id, exchange.request().params);
  } catch (const HttpError&) {
    throw;
  } catch (const std::exception& e) {
    throw BadRequest(e.what());
  }
  if (answer)
    exchange.json(*answer);
  else
    exchange.text("ok");
}

}  // namespace veltrano
