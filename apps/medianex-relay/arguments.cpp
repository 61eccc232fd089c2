#include "arguments.h"

#include <charconv>

#include "db/baza_de_date.h"

namespace strivex::relay {

namespace {

// The text after "<count>;", or nullopt when the count is another one.
std::optional<std::string_view> AfterCount(std::string_view arguments, char count) {
  if (arguments.size() < 2 || arguments[0] != count || arguments[1] != ';') return std::nullopt;
  return arguments.substr(2);
}

// "<name>,<slot>" split at the last comma.
std::optional<NameSlot> SplitNameSlot(std::string_view text) {
  const size_t comma = text.rfind(',');
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  const std::optional<int> slot = ParseSlot(text.substr(comma + 1));
  if (!slot) return std::nullopt;
  return NameSlot{std::string(text.substr(0, comma)), *slot};
}

}  // namespace

std::optional<int> ParseSlot(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 0 || value >= BazaDeDate::kSlotCount) return std::nullopt;
  return value;
}

std::optional<SlotStatement> ParseSlotStatement(std::string_view arguments) {
  const std::optional<std::string_view> rest = AfterCount(arguments, '2');
  if (!rest) return std::nullopt;
  const size_t semicolon = rest->find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  const std::optional<int> slot = ParseSlot(rest->substr(0, semicolon));
  if (!slot) return std::nullopt;
  return SlotStatement{*slot, std::string(rest->substr(semicolon + 1))};
}

std::optional<NameSlot> ParseNameSlot(std::string_view arguments) {
  const std::optional<std::string_view> rest = AfterCount(arguments, '2');
  if (!rest) return std::nullopt;
  return SplitNameSlot(*rest);
}

std::optional<TableClauseSlot> ParseTableClauseSlot(std::string_view arguments) {
  const std::optional<std::string_view> rest = AfterCount(arguments, '3');
  if (!rest) return std::nullopt;
  const size_t comma = rest->find(',');
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  // The clause may be empty, but its comma must be there.
  const std::string_view afterTable = rest->substr(comma + 1);
  const size_t last = afterTable.rfind(',');
  if (last == std::string_view::npos) return std::nullopt;
  const std::optional<int> slot = ParseSlot(afterTable.substr(last + 1));
  if (!slot) return std::nullopt;
  return TableClauseSlot{std::string(rest->substr(0, comma)), std::string(afterTable.substr(0, last)),
                         *slot};
}

std::optional<int> ParseSingleSlot(std::string_view arguments) {
  std::optional<std::string_view> rest = AfterCount(arguments, '1');
  if (!rest) return std::nullopt;
  if (rest->ends_with(';')) rest->remove_suffix(1);
  return ParseSlot(*rest);
}

}  // namespace strivex::relay
