#pragma once
// The steady clock as the module reads it, as a function a test can set. On Linux its epoch is the
// machine's boot, so a time point left at its default is "a few seconds ago" on a machine that
// has just started: "not yet" is an empty optional here, never the epoch.

#include <chrono>
#include <functional>
#include <optional>

namespace strivex {

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

inline SteadyClock RealSteadyClock() {
  return [] { return std::chrono::steady_clock::now(); };
}

// A rate limit: the first Due() is true, later ones once a period has passed since the last true.
// One thread.
class Pacer {
 public:
  explicit Pacer(std::chrono::steady_clock::duration period, SteadyClock clock = RealSteadyClock())
      : period_(period), clock_(std::move(clock)) {}

  bool Due() {
    const auto now = clock_();
    if (last_ && now - *last_ < period_) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::steady_clock::duration period_;
  SteadyClock clock_;
  std::optional<std::chrono::steady_clock::time_point> last_;
};

}  // namespace strivex
