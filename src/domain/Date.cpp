#include "domain/Date.hpp"

#include <cstdio>
#include <stdexcept>

#include "domain/TextParsing.hpp"
#include "domain/ValueHash.hpp"

namespace veltrano {

namespace {

// Day number of 1970-01-01, so that 0001-01-01 is day 1.
constexpr long long UNIX_EPOCH_DAY_NUMBER = 719163;

long long floorDiv(long long a, long long b) noexcept {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days since 1970-01-01 (H. Hinnant's civil calendar algorithm).
long long daysFromCivil(long long y, long long m, long long d) noexcept {
  y -= m <= 2;
  const long long era = floorDiv(y, 400);
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool isLeapYear(int year) noexcept {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) noexcept {
  static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12)
    return 0;
  return month == 2 && isLeapYear(year) ? 29 : DAYS[month - 1];
}

Date Date::fromTimeStruct(const ClockValue& tm) noexcept {
  return Date{tm.tm_year, tm.tm_mon, tm.tm_mday};
}

Date Date::decode(std::string_view text) {
  auto pieces = detail::splitAt(text, '-');
  if (pieces.size() != 3)
    throw std::invalid_argument("Invalid date format");
  Date date{detail::parseDecimal(pieces[0]), detail::parseDecimal(pieces[1]),
            detail::parseDecimal(pieces[2])};
  if (date.y < 1 || date.y > 9999) {
    throw std::invalid_argument("year " + std::to_string(date.y) + " is out of range");
  }
  if (date.m < 1 || date.m > 12)
    throw std::invalid_argument("month must be in 1..12");
  if (date.d < 1 || date.d > daysInMonth(date.y, date.m)) {
    throw std::invalid_argument("day is out of range for month");
  }
  return date;
}

Date Date::fromDayNumber(long long dayNumber) noexcept {
  const long long z = dayNumber - UNIX_EPOCH_DAY_NUMBER + 719468;
  const long long era = floorDiv(z, 146097);
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2);
  return Date{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

long long Date::toDayNumber() const noexcept {
  // Month 13 of one year is January of the next; keeps unvalidated dates monotonic.
  const long long monthIndex = static_cast<long long>(y) * 12 + (m - 1);
  const long long year = floorDiv(monthIndex, 12);
  const long long month = monthIndex - year * 12 + 1;
  return daysFromCivil(year, month, d) + UNIX_EPOCH_DAY_NUMBER;
}

int Date::weekday() const noexcept {
  const long long w = (toDayNumber() + 6) % 7;
  return static_cast<int>(w < 0 ? w + 7 : w);
}

bool Date::isBetween(const Date& start, const Date& end) const noexcept {
  const long long day = toDayNumber();
  return start.toDayNumber() <= day && day <= end.toDayNumber();
}

std::string Date::asString() const {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
  return buffer;
}

int isoWeekNumber(const Date& date) noexcept {
  // The week belongs to the year of its Thursday.
  const long long thursday = date.toDayNumber() - date.weekday() + 3;
  const Date thursdayDate = Date::fromDayNumber(thursday);
  const long long firstOfYear = Date{thursdayDate.y, 1, 1}.toDayNumber();
  return static_cast<int>((thursday - firstOfYear) / 7 + 1);
}

std::size_t hashValue(const Date& date) noexcept {
  return detail::hashInts({date.y, date.m, date.d});
}

}  // namespace veltrano
