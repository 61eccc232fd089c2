#include "host/outside_lines_notice.h"

#include <utility>

#include "util/format.h"
#include "util/timings.h"

namespace strivex {

std::optional<std::string> OutsideLinesNotice::Count(size_t lines) {
  if (lines == 0) return std::nullopt;
  sinceNotice_ += static_cast<int64_t>(lines);
  const auto now = clock_();
  if (lastNotice_ && now - *lastNotice_ < timings::kOutsideLinesNotice) return std::nullopt;
  const char* format = lastNotice_ ? kOutsideLinesSince : kOutsideLinesFirst;
  lastNotice_ = now;
  return Format(format, static_cast<long long>(std::exchange(sinceNotice_, 0)));
}

}  // namespace strivex
