#pragma once
// Local wall-clock time with the fields the logs and records carry. Tests replace the clock with a
// fixed or scripted one; everything else reads the system's local time.

#include <cstdint>
#include <functional>

namespace strivex {

// The fields of the system's time structure, as the logs and records have always carried them.
struct LocalTime {
  uint16_t wYear = 0;
  uint16_t wMonth = 0;  // 1-12
  uint16_t wDayOfWeek = 0;  // 0 = Sunday
  uint16_t wDay = 0;
  uint16_t wHour = 0;
  uint16_t wMinute = 0;
  uint16_t wSecond = 0;
  uint16_t wMilliseconds = 0;

  friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// A clock a test installs.
using ClockSource = std::function<LocalTime()>;

// The current local time from the installed clock (the system clock unless a test set one); any
// thread.
LocalTime GetLocalTime();

// The system's local time, whatever clock is installed.
LocalTime SystemLocalTime();

// Installs a clock for the lifetime of the object and puts the previous one back afterwards.
class ScopedClock {
 public:
  // Every GetLocalTime asks `source` while the object lives.
  explicit ScopedClock(ClockSource source);
  // Every GetLocalTime answers `fixed` while the object lives.
  explicit ScopedClock(const LocalTime& fixed);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  ClockSource previous_;
};

}  // namespace strivex
