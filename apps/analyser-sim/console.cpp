#include "console.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace strivex::sim {

namespace {

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

bool WriteLine(std::FILE* stream, const std::string& line) {
  const std::lock_guard lock(OutputMutex());
  return std::fwrite(line.data(), 1, line.size(), stream) == line.size() &&
         std::fflush(stream) == 0;
}

}  // namespace

bool PrintLine(std::string_view line) { return WriteLine(stdout, std::string(line) + '\n'); }

void Log(std::string_view message) {
  std::string line(kProgramName);
  line.append(": ").append(message) += '\n';
  WriteLine(stderr, line);
}

}  // namespace strivex::sim
