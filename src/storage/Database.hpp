#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "domain/AlertSettings.hpp"
#include "domain/AudioAsset.hpp"
#include "domain/Calendar.hpp"
#include "domain/CalendarSubscription.hpp"
#include "domain/DailyPreferences.hpp"
#include "domain/Programme.hpp"
#include "domain/TimeTable.hpp"
#include "foundation/MapDb.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

inline constexpr int EXPECTED_DB_VERSION = 2;

inline constexpr const char* FACTORY_DEFAULT_TIMETABLE_ID = "ID_factory_default_timetable";
inline constexpr const char* FACTORY_DEFAULT_SIGNAL_ID_MELODY = "ID_melody";
inline constexpr const char* FACTORY_DEFAULT_SIGNAL_ID_PING = "ID_ping";
inline constexpr const char* FACTORY_DEFAULT_SIGNAL_ID_ALARM = "ID_alarm";
inline constexpr const char* FACTORY_DEFAULT_SIGNAL_ID_INTERCOM = "ID_intercom";

struct Settings {
  std::string defaultTimetableId = FACTORY_DEFAULT_TIMETABLE_ID;
  bool schedulerEnable = true;  // master switch of automatic ringing
  DailyPreferences dailyPreferences;
  std::string alarmSignalId = FACTORY_DEFAULT_SIGNAL_ID_ALARM;
  double alarmDelaySec = 0.0;
  std::string announcementSignalId = FACTORY_DEFAULT_SIGNAL_ID_INTERCOM;
  CalendarSettings calendar;
  AlertSettings alerts;

  static constexpr auto fields() {
    return std::tuple{field("defaultTimetableId", &Settings::defaultTimetableId),
                      field("schedulerEnable", &Settings::schedulerEnable),
                      field("dailyPreferences", &Settings::dailyPreferences),
                      field("alarmSignalId", &Settings::alarmSignalId),
                      field("alarmDelaySec", &Settings::alarmDelaySec),
                      field("announcementSignalId", &Settings::announcementSignalId),
                      field("calendar", &Settings::calendar),
                      field("alerts", &Settings::alerts)};
  }
};

// The most timetables and calendar events (single and recurring together) a database may
// hold: far beyond any school, and what keeps loading it and answering for it fast.
inline constexpr std::size_t MAX_TIMETABLES = 10'000;
inline constexpr std::size_t MAX_CALENDAR_EVENTS = 100'000;

// The database file "_db.json".
struct DB {
  int dbVersion = EXPECTED_DB_VERSION;
  Settings settings;
  MapDb<AudioAsset> songs;  // built-in signals, user signals, programme songs, announcements
  MapDb<Programme> programmes;
  MapDb<TimeTable> timetables;
  // Kept apart from the settings: only the subscription routes and the refresh change them.
  std::vector<CalendarSubscription> calendarSubscriptions;

  static constexpr auto fields() {
    return std::tuple{field("dbVersion", &DB::dbVersion),
                      field("settings", &DB::settings),
                      field("songs", &DB::songs),
                      field("programmes", &DB::programmes),
                      field("timetables", &DB::timetables),
                      field("calendarSubscriptions", &DB::calendarSubscriptions)};
  }

  // Migrates a version-1 file in place; refuses any version but 1 and 2.
  static bool checkAfterLoad(Json& loaded);

  // What passes MAX_TIMETABLES, MAX_CALENDAR_EVENTS or MAX_CALENDAR_SUBSCRIPTIONS ("12000
  // timetables (at most 10000)"), or empty text.
  std::string sizeProblem() const;

  // Replaces everything by the factory database: one timetable wired to built-in signals.
  void loadFactoryDefault();
  // Adds missing built-in signals and records the current digest of changed ones.
  void ensureFactorySongsAvailable();
};

}  // namespace veltrano
