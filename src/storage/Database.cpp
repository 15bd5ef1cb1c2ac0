#include "storage/Database.hpp"

#include "storage/FactoryDefaults.hpp"

namespace veltrano {

const std::array<BuiltInSignal, 12> BUILT_IN_SIGNALS = {{
    {"double", "91945f57b3ab52e78e475f4fb5f2b80c", "p-double.mp3", 2, "ID_double"},
    {"robot", "f7b3505e88db3302b379a42b67fd01da", "p-robot.mp3", 2, "ID_robot"},
    {"ping", "1dee8883b85e90324d37c961cb36ad59", "p-ping.mp3", 3, FACTORY_DEFAULT_SIGNAL_ID_PING},
    {"triplet", "67c6a8d37a64f6aa26cd1880901d8b14", "p-triplet.mp3", 2, "ID_triplet"},
    {"vibraphone", "b51f204ef372620652b2ce3382f25cfb", "p-vibraphone.mp3", 3, "ID_vibraphone"},
    {"cartoon", "9f5738324f172e48240837b90f68a8a5", "s-cartoon.mp3", 11, "ID_cartoon"},
    {"guitar", "aad56bdcc92a142af30ff81af8fdd902", "s-guitar.mp3", 5, "ID_guitar"},
    {"melody", "f36f23527bcda212d390198d8ce919d4", "s-melody.mp3", 11,
     FACTORY_DEFAULT_SIGNAL_ID_MELODY},
    {"ring", "59a7a8cac6967e5fcd58d1783a89a466", "s-ring.mp3", 3, "ID_ring"},
    {"alarm", "a2ce319af77ed6716eab684284604dd9", "alarm.mp3", 5, FACTORY_DEFAULT_SIGNAL_ID_ALARM},
    {"intercom", "db79aba039c1b0e17fb2475c48d38d1a", "p-intercom.mp3", 2,
     FACTORY_DEFAULT_SIGNAL_ID_INTERCOM},
    {"BigBen", "c19bd2e0ff7c8e4b65ec97f45c35b1b7", "s-bigben.mp3", 7, "ID_bigben"},
}};

bool DB::checkAfterLoad(Json& loaded) {
  int version = 0;
  if (auto found = loaded.find("dbVersion"); found != loaded.end() && found->is_number_integer()) {
    version = found->get<int>();
  }
  if (version == 1) {
    auto signals = loaded.find("signals");
    loaded["songs"] = signals != loaded.end() ? *signals : Json(nullptr);
    loaded["dbVersion"] = EXPECTED_DB_VERSION;
    return true;
  }
  return version == EXPECTED_DB_VERSION;
}

std::string DB::sizeProblem() const {
  std::string problem;
  auto check = [&](std::size_t count, std::size_t limit, const char* what) {
    if (count <= limit)
      return;
    if (!problem.empty())
      problem += ", ";
    problem += std::to_string(count) + " " + what + " (at most " + std::to_string(limit) + ")";
  };
  check(timetables.size(), MAX_TIMETABLES, "timetables");
  check(settings.calendar.singleEvents.size() + settings.calendar.reoccurringEvents.size(),
        MAX_CALENDAR_EVENTS, "calendar events");
  check(calendarSubscriptions.size(), MAX_CALENDAR_SUBSCRIPTIONS, "calendar subscriptions");
  return problem;
}

void DB::loadFactoryDefault() {
  *this = DB{};
  TimeTable timetable;
  for (int channel : {0, 1}) {
    SignalTable& signals = timetable.chAt(channel);
    signals.startOfClass.id = FACTORY_DEFAULT_SIGNAL_ID_MELODY;
    signals.endOfClass.id = FACTORY_DEFAULT_SIGNAL_ID_MELODY;
    signals.preStart.id = FACTORY_DEFAULT_SIGNAL_ID_PING;
    signals.preEnd.id = FACTORY_DEFAULT_SIGNAL_ID_PING;
  }
  timetables.add(std::move(timetable), FACTORY_DEFAULT_TIMETABLE_ID);
}

void DB::ensureFactorySongsAvailable() {
  for (const auto& signal : BUILT_IN_SIGNALS) {
    std::string id(signal.id);
    if (AudioAsset* stored = songs.find(id)) {
      if (stored->md5 != signal.md5)
        stored->md5 = signal.md5;
      continue;
    }
    AudioAsset asset;
    asset.name = signal.name;
    asset.md5 = signal.md5;
    asset.filename = signal.filename;
    asset.lengthSec = signal.lengthSec;
    asset.storageCategory = AudioAssetCategory::BUILT_IN_SIGNAL;
    songs.add(std::move(asset), id);
  }
}

}  // namespace veltrano
