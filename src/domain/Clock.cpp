#include "domain/Clock.hpp"

#include <array>
#include <chrono>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>

namespace veltrano {

ClockValue clockValueFromEpoch(long long epochSeconds) {
  std::time_t t = static_cast<std::time_t>(epochSeconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  ClockValue v;
  v.tm_year = local.tm_year + 1900;
  v.tm_mon = local.tm_mon + 1;
  v.tm_mday = local.tm_mday;
  v.tm_hour = local.tm_hour;
  v.tm_min = local.tm_min;
  v.tm_sec = local.tm_sec;
  v.tm_wday = (local.tm_wday + 6) % 7;
  v.tm_yday = local.tm_yday + 1;
  return v;
}

// system_clock rather than time(): time() follows the kernel tick and can still show the old
// second a few milliseconds into a new one.
ClockValue readLocalTime() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return clockValueFromEpoch(std::chrono::floor<std::chrono::seconds>(now).count());
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  auto yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

TimeZone localTimeZone() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  long long localSeconds =
      daysFromCivil(local.tm_year + 1900LL, static_cast<unsigned>(local.tm_mon + 1),
                    static_cast<unsigned>(local.tm_mday)) *
          86400 +
      local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  TimeZone zone;
  zone.utcOffsetSec = static_cast<int>(localSeconds - static_cast<long long>(now));
  std::array<char, 128> name{};
  std::size_t written = std::strftime(name.data(), name.size(), "%Z", &local);
  // Some systems name zones in a local code page; only plain ASCII is safe to send on.
  for (std::size_t i = 0; i < written; ++i) {
    if (name[i] >= 0x20 && name[i] < 0x7f)
      zone.name.push_back(name[i]);
  }
  return zone;
}

Clock::Clock(TimeSource source)
    : source_(std::move(source)), now_(std::make_shared<const ClockValue>(source_())) {}

ClockValue Clock::updateClock() {
  auto reading = std::make_shared<const ClockValue>(source_());
  std::atomic_store(&now_, reading);
  return *reading;
}

ClockValue Clock::getClock() const noexcept { return *std::atomic_load(&now_); }

std::tm toTm(const ClockValue& v) noexcept {
  std::tm t{};
  t.tm_year = v.tm_year - 1900;
  t.tm_mon = v.tm_mon - 1;
  t.tm_mday = v.tm_mday;
  t.tm_hour = v.tm_hour;
  t.tm_min = v.tm_min;
  t.tm_sec = v.tm_sec;
  t.tm_wday = (v.tm_wday + 1) % 7;
  t.tm_yday = v.tm_yday - 1;
  t.tm_isdst = -1;
  return t;
}

std::string Clock::getTimeString(std::string_view format) const {
  std::tm t = toTm(getClock());
  std::array<char, 256> buffer{};
  std::string fmt(format);
  std::size_t written = std::strftime(buffer.data(), buffer.size(), fmt.c_str(), &t);
  return std::string(buffer.data(), written);
}

std::string Clock::getDateString() const {
  ClockValue v = getClock();
  std::array<char, 32> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%d-%02d-%02d", v.tm_year, v.tm_mon, v.tm_mday);
  return buffer.data();
}

}  // namespace veltrano
