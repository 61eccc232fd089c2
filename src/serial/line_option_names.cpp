#include "serial/line_option_names.h"

#include <utility>

#include "serial/line_settings.h"

namespace strivex {

namespace {

template <size_t N>
std::optional<uint8_t> Lookup(const std::pair<std::string_view, uint8_t> (&names)[N],
                              std::string_view name) {
  for (const auto& [text, value] : names) {
    if (text == name) return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint8_t> ParityFromOptionName(std::string_view name) {
  static constexpr std::pair<std::string_view, uint8_t> kNames[] = {
      {"none", NOPARITY}, {"odd", ODDPARITY},     {"even", EVENPARITY},
      {"mark", MARKPARITY}, {"space", SPACEPARITY},
  };
  return Lookup(kNames, name);
}

std::optional<uint8_t> StopBitsFromOptionName(std::string_view name) {
  static constexpr std::pair<std::string_view, uint8_t> kNames[] = {
      {"1", ONESTOPBIT}, {"1.5", ONE5STOPBITS}, {"2", TWOSTOPBITS},
  };
  return Lookup(kNames, name);
}

}  // namespace strivex
