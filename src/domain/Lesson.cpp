#include "domain/Lesson.hpp"

#include <stdexcept>

#include "domain/TextParsing.hpp"
#include "domain/ValueHash.hpp"

namespace veltrano {

Lesson Lesson::fromHour(int startHour) noexcept {
  return Lesson{TimeOfDay{startHour, 0, 0}, TimeOfDay{startHour, 45, 0}};
}

std::vector<Lesson> Lesson::defaults() {
  std::vector<Lesson> lessons;
  for (int hour = 8; hour <= 13; ++hour)
    lessons.push_back(fromHour(hour));
  return lessons;
}

Lesson Lesson::decode(std::string_view text) {
  auto pieces = detail::splitAt(text, '-');
  if (pieces.size() < 2)
    throw std::out_of_range("Invalid lesson: '" + std::string(text) + "'");
  return Lesson{TimeOfDay::decode(pieces[0]), TimeOfDay::decode(pieces[1])};
}

std::string Lesson::asString() const {
  return start.asString() + " - " + end.asString();
}

std::size_t hashValue(const Lesson& lesson) noexcept {
  return detail::mixHash(hashValue(lesson.start), hashValue(lesson.end));
}

}  // namespace veltrano
