#include "host/repeated_failure_log.h"

#include "util/format.h"
#include "util/log_files.h"
#include "util/timings.h"

namespace strivex {

void RepeatedFailureLog::Write(const std::string& entry) {
  const auto now = clock_();
  if (!last_ || entry != *last_) {
    Flush();
    WriteErrorLogEntry(entry);
    last_ = entry;
    since_ = now;
    return;
  }
  ++repeats_;
  if (now - since_ >= timings::kRepeatedFailureSummary) WriteSummary(now);
}

void RepeatedFailureLog::Flush() {
  if (repeats_ > 0) WriteSummary(clock_());
  last_.reset();
}

void RepeatedFailureLog::WriteSummary(std::chrono::steady_clock::time_point now) {
  // The entry's first line names the failure; the rest (the driver's words) stays as first written.
  const std::string first = last_->substr(0, last_->find('\n'));
  const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(now - since_).count();
  WriteErrorLogEntry(Format("Aceeasi eroare inca de %lld ori in %lld min: %s", static_cast<long long>(repeats_),
                            static_cast<long long>(minutes), first.c_str()));
  repeats_ = 0;
  since_ = now;
}

}  // namespace strivex
