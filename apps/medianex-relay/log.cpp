#include "log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace strivex::relay {

namespace {
std::mutex logMutex;
}

void LogLine(std::string_view line) {
  const std::lock_guard lock(logMutex);
  std::fprintf(stderr, "medianex-relay: %.*s\n", static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

bool PrintLine(std::string_view line) {
  const std::lock_guard lock(logMutex);
  return std::fprintf(stdout, "%.*s\n", static_cast<int>(line.size()), line.data()) >= 0 &&
         std::fflush(stdout) == 0;
}

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E && byte != '\\') {
      out.push_back(c);
    } else {
      out.append("\\x").push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    }
  }
  return out;
}

}  // namespace strivex::relay
