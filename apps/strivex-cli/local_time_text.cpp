#include "local_time_text.h"

#include <ctime>

#include "util/format.h"

namespace strivex::cli {

std::string LocalTimeText(int64_t unixSeconds) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return std::to_string(unixSeconds);
  return Format("%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec);
}

}  // namespace strivex::cli
