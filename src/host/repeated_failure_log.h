#pragma once
// The background reconnection's failures in "_acterr.log": a failure unlike the one before is
// written as it is; the same failure again is counted, and once per kRepeatedFailureSummary a
// line says how often it came meanwhile. Whoever ends the run of failures flushes the count.
// One thread (the reconnection's).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "util/steady_clock.h"

namespace strivex {

class RepeatedFailureLog {
 public:
  explicit RepeatedFailureLog(SteadyClock clock) : clock_(std::move(clock)) {}

  // One failure's entry.
  void Write(const std::string& entry);
  // The repeats not yet told, if any; the next failure is written as it is.
  void Flush();

 private:
  void WriteSummary(std::chrono::steady_clock::time_point now);

  SteadyClock clock_;
  std::optional<std::string> last_;  // none: the next failure is written as it is
  int64_t repeats_ = 0;               // of last_, since `since_`
  std::chrono::steady_clock::time_point since_;
};

}  // namespace strivex
