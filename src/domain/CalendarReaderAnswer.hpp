#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "domain/CalendarFile.hpp"

namespace veltrano {

inline constexpr std::size_t MAX_CALENDAR_SUMMARY_CHARACTERS = 200;
inline constexpr std::size_t MAX_CALENDAR_REFUSAL_BYTES = 1000;

// What the calendar reader program writes back: the events of the file, or the reason it is
// refused (a text for the user).
struct CalendarReaderAnswer {
  std::vector<CalendarFileEvent> events;
  std::optional<std::string> refusal;
};

std::string encodeCalendarReaderAnswer(const CalendarReaderAnswer& answer);

// The reader's answer, checked as any input from outside: it parses files nobody vouches for.
// Throws std::runtime_error for text that is not such an answer or breaks its bounds.
CalendarReaderAnswer decodeCalendarReaderAnswer(std::string_view text);

}  // namespace veltrano
