#include "domain/MyDateTime.hpp"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "domain/Clock.hpp"
#include "domain/Date.hpp"

namespace veltrano {

namespace {

using namespace std::chrono;

// Reads exactly `count` digits at `pos`, advancing it; -1 when they are not all digits.
int readDigits(std::string_view text, std::size_t& pos, std::size_t count) {
  if (pos + count > text.size())
    return -1;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    char c = text[pos + i];
    if (c < '0' || c > '9')
      return -1;
    value = value * 10 + (c - '0');
  }
  pos += count;
  return value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c)
    return false;
  ++pos;
  return true;
}

MyDateTime::LocalTime makeLocal(int y, int mo, int d, int h, int mi, int s, int us) {
  return local_days{year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)}} +
         hours{h} + minutes{mi} + seconds{s} + microseconds{us};
}

// YYYY-MM-DD, optionally followed by "T" or " " and HH:MM[:SS[.f..ffffff]]. No zone offsets:
// every time in the system is local.
MyDateTime::LocalTime parseIso(std::string_view text) {
  auto fail = [&]() {
    return std::invalid_argument("Invalid isoformat string: '" + std::string(text) + "'");
  };
  std::size_t pos = 0;
  int y = readDigits(text, pos, 4);
  if (y < 0 || !expect(text, pos, '-'))
    throw fail();
  int mo = readDigits(text, pos, 2);
  if (mo < 0 || !expect(text, pos, '-'))
    throw fail();
  int d = readDigits(text, pos, 2);
  if (d < 0 || y < 1 || d < 1 || d > daysInMonth(y, mo))
    throw fail();
  int h = 0, mi = 0, s = 0, us = 0;
  if (pos < text.size()) {
    if (text[pos] != 'T' && text[pos] != ' ')
      throw fail();
    ++pos;
    h = readDigits(text, pos, 2);
    if (h < 0 || !expect(text, pos, ':'))
      throw fail();
    mi = readDigits(text, pos, 2);
    if (mi < 0)
      throw fail();
    if (expect(text, pos, ':')) {
      s = readDigits(text, pos, 2);
      if (s < 0)
        throw fail();
      if (expect(text, pos, '.')) {
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 6) {
          us = us * 10 + (text[pos] - '0');
          ++pos;
          ++digits;
        }
        if (digits == 0)
          throw fail();
        for (; digits < 6; ++digits)
          us *= 10;
      }
    }
    if (pos != text.size() || h > 23 || mi > 59 || s > 59)
      throw fail();
  }
  return makeLocal(y, mo, d, h, mi, s, us);
}

}  // namespace

MyDateTime::MyDateTime() : date(now().date) {}

MyDateTime::MyDateTime(std::string_view dateText)
    : date(dateText.empty() ? now().date : parseIso(dateText)) {}

MyDateTime MyDateTime::now() {
  const auto sinceEpoch = duration_cast<microseconds>(system_clock::now().time_since_epoch());
  const auto wholeSeconds = floor<seconds>(sinceEpoch);
  const ClockValue local = clockValueFromEpoch(wholeSeconds.count());
  return MyDateTime(makeLocal(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec,
                              static_cast<int>((sinceEpoch - wholeSeconds).count())));
}

std::string MyDateTime::encode() const {
  const auto dayStart = floor<days>(date);
  const year_month_day ymd{dayStart};
  const hh_mm_ss<microseconds> time{date - dayStart};
  char buffer[64];
  int length = std::snprintf(
      buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(ymd.year()),
      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
      static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
      static_cast<int>(time.seconds().count()));
  const auto micro = time.subseconds().count();
  if (micro != 0) {
    std::snprintf(buffer + length, sizeof buffer - static_cast<std::size_t>(length), ".%06d",
                  static_cast<int>(micro));
  }
  return buffer;
}

}  // namespace veltrano
