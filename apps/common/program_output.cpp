#include "program_output.h"

#include <cstdio>
#include <string>

#include "strivex_version.h"

namespace strivex::app {

void PrintProgramError(std::string_view program, std::string_view what, std::string_view why) {
  std::string line;
  line.reserve(program.size() + what.size() + why.size() + 5);
  line.append(program).append(": ").append(what).append(": ").append(why) += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool PrintVersionLine(std::string_view program) {
  const std::string line = std::string(program) + " (Strivex) " + kStrivexVersion + "\n";
  return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0;
}

}  // namespace strivex::app
