#include "host/outside_lines_notice.h"

#include <utility>

#include "util/format.h"

namespace strivex {

std::optional<std::string> OutsideLinesNotice::Count(size_t lines) {
  if (lines == 0) return std::nullopt;
  sinceNotice_ += static_cast<int64_t>(lines);
  if (!pacer_.Due()) return std::nullopt;
  const char* format = std::exchange(told_, true) ? kOutsideLinesSince : kOutsideLinesFirst;
  return Format(format, static_cast<long long>(std::exchange(sinceNotice_, 0)));
}

}  // namespace strivex
