#include "console.h"

#include <string>

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

}  // namespace strivex::cli
