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

}  // namespace veltrano
