#include "domain/Calendar.hpp"

#include <stdexcept>
#include <utility>

namespace veltrano {

Date parseIsoDate(std::string_view text) {
  auto fail = [&]() {
    return std::invalid_argument("Invalid isoformat string: '" + std::string(text) + "'");
  };
  if (text.size() != 10 || text[4] != '-' || text[7] != '-')
    throw fail();
  auto number = [&](std::size_t pos, std::size_t count) {
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
      if (text[i] < '0' || text[i] > '9')
        throw fail();
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  Date date{number(0, 4), number(5, 2), number(8, 2)};
  if (date.y < 1 || date.d < 1 || date.d > daysInMonth(date.y, date.m))
    throw fail();
  return date;
}

SingleCalendarEvent SingleCalendarEvent::fromUserInput(std::string timeTableId,
                                                       std::string_view start,
                                                       std::string_view end) {
  SingleCalendarEvent event;
  event.start = Date::decode(start);
  event.end = Date::decode(end);
  event.timeTableId = std::move(timeTableId);
  return event;
}

ReoccurringCalendarEvent ReoccurringCalendarEvent::fromUserInput(std::string timeTableId, int mode,
                                                                 int days) {
  for (Mode member : enumValues(Mode{})) {
    if (static_cast<int>(member) == mode) {
      return ReoccurringCalendarEvent{std::move(timeTableId), member, days};
    }
  }
  throw std::invalid_argument(std::to_string(mode) + " is not a valid Mode");
}

bool ReoccurringCalendarEvent::isActiveOnDate(std::string_view dateStr) const {
  return isActiveOnDate(parseIsoDate(dateStr));
}

bool ReoccurringCalendarEvent::isActiveOnDate(const Date& date) const noexcept {
  if (!isActiveOnThisWeek(date))
    return false;
  return (days & (1 << date.weekday())) != 0;
}

bool ReoccurringCalendarEvent::isActiveOnThisWeek(const Date& date) const noexcept {
  switch (mode) {
    case Mode::EVERY_WEEK:
      return true;
    case Mode::ODD_WEEK:
      return isoWeekNumber(date) % 2 == 1;
    case Mode::EVEN_WEEK:
      return isoWeekNumber(date) % 2 == 0;
  }
  return false;
}

std::vector<int> CalendarSettings::getWorkdays() const {
  switch (workdayMode) {
    case WorkdayMode::MON_TO_FRI:
      return {0, 1, 2, 3, 4};
    case WorkdayMode::MON_TO_SAT:
      return {0, 1, 2, 3, 4, 5};
    case WorkdayMode::MON_TO_THU:
      return {0, 1, 2, 3};
    case WorkdayMode::SUN_TO_THU:
      return {6, 0, 1, 2, 3};
    case WorkdayMode::SAT_TO_WED:
      return {5, 6, 0, 1, 2};
    case WorkdayMode::EVERY_DAY:
      break;
  }
  return {0, 1, 2, 3, 4, 5, 6};
}

}  // namespace veltrano
