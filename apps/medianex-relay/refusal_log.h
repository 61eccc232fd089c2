#pragma once
// Refusals said once a minute per peer address, with a count of those left unsaid: a client
// retrying in a loop, or a flood, would otherwise write a line per connection.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "util/thread_annotations.h"

namespace strivex::relay {

class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kPeriod{60};

  // A connection of `who` (from `address`, host order) refused for `reason`: the line to log,
  // or nullopt when that address had its line within the period (the refusal is counted).
  std::optional<std::string> Refused(uint32_t address, const std::string& who, const std::string& reason,
                                     Clock::time_point now) EXCLUDES(mutex_);
  // Lines for the addresses whose counted refusals are a period old; forgets quiet addresses.
  std::vector<std::string> Due(Clock::time_point now) EXCLUDES(mutex_);

 private:
  struct Entry {
    Clock::time_point lastLine;
    int unsaid = 0;
    std::string lastReason;
  };
  static std::string Unsaid(uint32_t address, const Entry& entry);

  Mutex mutex_;
  std::map<uint32_t, Entry> entries_ GUARDED_BY(mutex_);
};

}  // namespace strivex::relay
