#include "refusal_log.h"

#include "network_address.h"

namespace strivex::relay {

std::string RefusalLog::Unsaid(uint32_t address, const Entry& entry) {
  return "refused " + std::to_string(entry.unsaid) + " more connection" + (entry.unsaid == 1 ? "" : "s") +
         " from " + FormatIpv4(address) + " within a minute (the last: " + entry.lastReason + ")";
}

std::optional<std::string> RefusalLog::Refused(uint32_t address, const std::string& who, const std::string& reason,
                                               Clock::time_point now) {
  const MutexLock lock(mutex_);
  const auto [it, first] = entries_.try_emplace(address);
  Entry& entry = it->second;
  if (!first && now - entry.lastLine < kPeriod) {
    ++entry.unsaid;
    entry.lastReason = reason;
    return std::nullopt;
  }
  std::string line = "refused " + who + ": " + reason;
  if (entry.unsaid > 0) line += "; " + Unsaid(address, entry);
  entry = Entry{now, 0, {}};
  return line;
}

std::vector<std::string> RefusalLog::Due(Clock::time_point now) {
  const MutexLock lock(mutex_);
  std::vector<std::string> lines;
  for (auto it = entries_.begin(); it != entries_.end();) {
    Entry& entry = it->second;
    if (now - entry.lastLine < kPeriod) {
      ++it;
    } else if (entry.unsaid == 0) {
      it = entries_.erase(it);
    } else {
      lines.push_back(Unsaid(it->first, entry));
      entry = Entry{now, 0, {}};
      ++it;
    }
  }
  return lines;
}

}  // namespace strivex::relay
