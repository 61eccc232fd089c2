#include "option_text.h"

#include <charconv>

#include "console.h"
#include "escape.h"

namespace strivex::cli {

bool UsageError(std::string_view what, std::string_view reason) {
  PrintError(EscapeField(what), reason);
  return false;
}

bool SplitArguments(std::span<const std::string_view> args, std::span<const app::LongOption> known,
                    app::CommandLine& line) {
  line = app::ParseCommandLine(args, known);
  return line.help || line.ok() || UsageError(line.error->what, line.error->why);
}

std::optional<uint32_t> ParsePositive(std::string_view text) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view value) { return "'" + EscapeField(value) + "'"; }

}  // namespace strivex::cli
