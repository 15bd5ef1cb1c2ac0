#include "domain/CalendarReaderAnswer.hpp"

#include <nlohmann/json.hpp>

#include <stdexcept>

#include "foundation/TextChecks.hpp"
#include "foundation/Utf8.hpp"

namespace veltrano {
namespace {

using Answer = nlohmann::json;

std::runtime_error malformed() {
  return std::runtime_error("The calendar file reader gave an answer that cannot be used");
}

const std::string& text(const Answer& object, const char* member) {
  auto found = object.find(member);
  if (found == object.end() || !found->is_string())
    throw malformed();
  return found->get_ref<const std::string&>();
}

Date day(const Answer& object, const char* member) {
  try {
    return Date::decode(text(object, member));
  } catch (const std::invalid_argument&) {
    throw malformed();
  }
}

}  // namespace

std::string encodeCalendarReaderAnswer(const CalendarReaderAnswer& answer) {
  if (answer.refusal)
    return Answer{{"refused", *answer.refusal}}.dump();
  Answer events = Answer::array();
  for (const auto& event : answer.events) {
    events.push_back(
        {{"summary", event.summary}, {"start", event.start.asString()}, {"end", event.end.asString()}});
  }
  return Answer{{"events", std::move(events)}}.dump();
}

CalendarReaderAnswer decodeCalendarReaderAnswer(std::string_view encoded) {
  // An answer is an object of a list of flat objects.
  if (!jsonNestingWithin(encoded, 3))
    throw malformed();
  Answer parsed = Answer::parse(encoded, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded() || !parsed.is_object())
    throw malformed();
  CalendarReaderAnswer answer;
  if (parsed.contains("refused")) {
    const std::string& reason = text(parsed, "refused");
    if (reason.empty() || reason.size() > MAX_CALENDAR_REFUSAL_BYTES || !isValidUtf8(reason))
      throw malformed();
    answer.refusal = reason;
    return answer;
  }
  auto events = parsed.find("events");
  if (events == parsed.end() || !events->is_array() ||
      events->size() > MAX_CALENDAR_FILE_OCCURRENCES) {
    throw malformed();
  }
  for (const Answer& event : *events) {
    if (!event.is_object())
      throw malformed();
    CalendarFileEvent decoded{text(event, "summary"), day(event, "start"), day(event, "end")};
    if (!isValidUtf8(decoded.summary) ||
        utf8Length(decoded.summary) > MAX_CALENDAR_SUMMARY_CHARACTERS ||
        decoded.end.toDayNumber() < decoded.start.toDayNumber()) {
      throw malformed();
    }
    answer.events.push_back(std::move(decoded));
  }
  return answer;
}

}  // namespace veltrano
