#include "domain/TimeTable.hpp"

#include <stdexcept>

namespace veltrano {

SignalTable& TimeTable::chAt(int i) {
  return const_cast<SignalTable&>(static_cast<const TimeTable&>(*this).chAt(i));
}

const SignalTable& TimeTable::chAt(int i) const {
  switch (i) {
    case 0:
      return chA;
    case 1:
      return chB;
    default:
      throw std::out_of_range("No channel " + std::to_string(i));
  }
}

namespace {

void checkRepeatCount(const PlayDesc& desc, const std::string& path) {
  if (desc.doRepeat && (desc.iterations < 1 || desc.iterations > MAX_ITERATIONS)) {
    throw std::invalid_argument(path + ".iterations must be between 1 and " +
                                std::to_string(MAX_ITERATIONS));
  }
}

void checkRepeatCounts(const SignalTable& channel, const std::string& name) {
  checkRepeatCount(channel.startOfClass, name + ".startOfClass");
  checkRepeatCount(channel.endOfClass, name + ".endOfClass");
  checkRepeatCount(channel.preStart, name + ".preStart");
  checkRepeatCount(channel.preEnd, name + ".preEnd");
}

}  // namespace

void checkRepeatCounts(const TimeTable& timetable) {
  checkRepeatCounts(timetable.chA, "chA");
  checkRepeatCounts(timetable.chB, "chB");
  for (std::size_t i = 0; i < timetable.customPlays.size(); ++i) {
    checkRepeatCount(timetable.customPlays[i].desc, "customPlays[" + std::to_string(i) + "].desc");
  }
}

}  // namespace veltrano
