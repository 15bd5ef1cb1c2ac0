#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "domain/Lesson.hpp"
#include "domain/TimeOfDay.hpp"
#include "foundation/Record.hpp"

namespace veltrano {

// What to play for one kind of event. The id "NULL" plays nothing.
struct PlayDesc {
  std::string id = "NULL";
  bool doRepeat = false;
  // Only used when doRepeat is set.
  int iterations = 2;
  double delaySec = 1.0;

  static constexpr auto fields() {
    return std::tuple{field("id", &PlayDesc::id), field("doRepeat", &PlayDesc::doRepeat),
                      field("iterations", &PlayDesc::iterations),
                      field("delaySec", &PlayDesc::delaySec)};
  }
};

// One channel of a timetable: its lessons and the signals rung around them.
struct SignalTable {
  std::vector<Lesson> lessons = Lesson::defaults();
  PlayDesc startOfClass;
  PlayDesc endOfClass;
  int preStartWaitMin = 5;
  PlayDesc preStart;
  int preEndWaitMin = 5;
  PlayDesc preEnd;

  static constexpr auto fields() {
    return std::tuple{field("lessons", &SignalTable::lessons),
                      field("startOfClass", &SignalTable::startOfClass),
                      field("endOfClass", &SignalTable::endOfClass),
                      field("preStartWaitMin", &SignalTable::preStartWaitMin),
                      field("preStart", &SignalTable::preStart),
                      field("preEndWaitMin", &SignalTable::preEndWaitMin),
                      field("preEnd", &SignalTable::preEnd)};
  }
};

// A signal played at listed times of day.
struct UserPlay {
  PlayDesc desc;
  std::vector<TimeOfDay> slots;

  static constexpr auto fields() {
    return std::tuple{field("desc", &UserPlay::desc), field("slots", &UserPlay::slots)};
  }
};

struct TimeTable {
  std::string name = "Default";
  SignalTable chA;
  SignalTable chB;
  std::vector<UserPlay> customPlays;

  static constexpr auto fields() {
    return std::tuple{field("name", &TimeTable::name), field("chA", &TimeTable::chA),
                      field("chB", &TimeTable::chB), field("customPlays", &TimeTable::customPlays)};
  }

  // 0 is chA, 1 is chB; std::out_of_range for anything else.
  SignalTable& chAt(int i);
  const SignalTable& chAt(int i) const;
};

// The most times a signal may repeat: far beyond any bell, small enough to stay harmless.
inline constexpr int MAX_ITERATIONS = 1000;

// std::invalid_argument naming the first repeating signal whose count lies outside
// 1..MAX_ITERATIONS (its member path, like "customPlays[0].desc.iterations").
void checkRepeatCounts(const TimeTable& timetable);

}  // namespace veltrano
