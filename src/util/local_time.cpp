#include "util/local_time.h"

#include <ctime>
#include <mutex>
#include <utility>

#include <sys/time.h>

namespace strivex {

namespace {

std::mutex& ClockMutex() {
  static std::mutex mutex;
  return mutex;
}

ClockSource& InstalledClock() {
  static ClockSource clock;
  return clock;
}

ClockSource Exchange(ClockSource next) {
  std::lock_guard lock(ClockMutex());
  return std::exchange(InstalledClock(), std::move(next));
}

}  // namespace

LocalTime SystemLocalTime() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  LocalTime t;
  t.wYear = static_cast<uint16_t>(parts.tm_year + 1900);
  t.wMonth = static_cast<uint16_t>(parts.tm_mon + 1);
  t.wDayOfWeek = static_cast<uint16_t>(parts.tm_wday);
  t.wDay = static_cast<uint16_t>(parts.tm_mday);
  t.wHour = static_cast<uint16_t>(parts.tm_hour);
  t.wMinute = static_cast<uint16_t>(parts.tm_min);
  t.wSecond = static_cast<uint16_t>(parts.tm_sec);
  t.wMilliseconds = static_cast<uint16_t>(now.tv_usec / 1000);
  return t;
}

LocalTime GetLocalTime() {
  {
    std::lock_guard lock(ClockMutex());
    if (InstalledClock()) return InstalledClock()();
  }
  return SystemLocalTime();
}

ScopedClock::ScopedClock(ClockSource source) : previous_(Exchange(std::move(source))) {}

ScopedClock::ScopedClock(const LocalTime& fixed) : ScopedClock(ClockSource([fixed] { return fixed; })) {}

ScopedClock::~ScopedClock() { Exchange(std::move(previous_)); }

}  // namespace strivex
