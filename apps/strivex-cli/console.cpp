#include "console.h"

namespace strivex::cli {

void PrintError(std::string_view what, std::string_view reason) {
  app::PrintProgramError(kProgramName, what, reason);
}

bool WriteAll(std::FILE* out, std::string_view text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
  return std::ferror(out) == 0;
}

}  // namespace strivex::cli
