#include "domain/LocalSecond.hpp"

#include <ctime>

#include "domain/Date.hpp"

namespace veltrano {
namespace {

constexpr long long SECONDS_PER_DAY = 86400;

long long floorDiv(long long a, long long b) noexcept {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

long long localSecondOf(const ClockValue& value) noexcept {
  return Date::fromTimeStruct(value).toDayNumber() * SECONDS_PER_DAY + value.tm_hour * 3600LL +
         value.tm_min * 60LL + value.tm_sec;
}

ClockValue clockValueAtLocalSecond(long long second) noexcept {
  const long long day = floorDiv(second, SECONDS_PER_DAY);
  const long long inDay = second - day * SECONDS_PER_DAY;
  const Date date = Date::fromDayNumber(day);
  ClockValue value;
  value.tm_year = date.y;
  value.tm_mon = date.m;
  value.tm_mday = date.d;
  value.tm_hour = static_cast<int>(inDay / 3600);
  value.tm_min = static_cast<int>(inDay / 60 % 60);
  value.tm_sec = static_cast<int>(inDay % 60);
  value.tm_wday = date.weekday();
  value.tm_yday = static_cast<int>(day - Date{date.y, 1, 1}.toDayNumber()) + 1;
  return value;
}

long long epochMillisOfLocal(const ClockValue& value) noexcept {
  std::tm local = toTm(value);
  return static_cast<long long>(std::mktime(&local)) * 1000;
}

}  // namespace veltrano
