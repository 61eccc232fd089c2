#include "console.h"

#include <ctime>
#include <string>

#include "util/format.h"

namespace strivex::cli {

void PrintError(std::string_view what, std::string_view reason) {
  // Built first and written at once, so concurrent writers cannot split the line.
  std::string line;
  line.reserve(kProgramName.size() + what.size() + reason.size() + 5);
  line.append(kProgramName).append(": ").append(what).append(": ").append(reason) += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool WriteAll(std::FILE* out, std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
  return std::ferror(out) == 0;
}

std::string LocalTimeText(int64_t unixSeconds) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return std::to_string(unixSeconds);
  return Format("%04d-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec);
}

}  // namespace strivex::cli
