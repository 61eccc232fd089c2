#include "option_text.h"

#include <charconv>

#include "console.h"
#include "escape.h"

namespace strivex::cli {

bool UsageError(std::string_view what, std::string_view reason) {
  PrintError(EscapeField(what), reason);
  return false;
}

std::string_view OptionName(std::string_view arg, std::optional<std::string_view>& value) {
  const size_t equals = arg.find('=');
  if (!arg.starts_with("--") || equals == std::string_view::npos) return arg;
  value = arg.substr(equals + 1);
  return arg.substr(0, equals);
}

std::optional<uint32_t> ParsePositive(std::string_view text) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view value) { return "'" + EscapeField(value) + "'"; }

}  // namespace strivex::cli
