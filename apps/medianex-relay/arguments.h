#pragma once
// Argument texts of the relayed commands. Statements and clauses are free text that may hold
// commas and semicolons, so each format is split where the fixed part cannot be ambiguous: a slot
// before the statement ends at the second ';', a slot after a name starts after the LAST ','.

#include <optional>
#include <string>
#include <string_view>

namespace strivex::relay {

struct SlotStatement {  // "2;%d;%s"
  int slot = 0;
  std::string statement;
};

struct NameSlot {  // "2;%s,%d"
  std::string name;
  int slot = 0;
};

struct TableClauseSlot {  // "3;%s,%s,%d"
  std::string table;
  std::string clause;
  int slot = 0;
};

// Only the session's slot numbers (0 to 9) are accepted.
std::optional<int> ParseSlot(std::string_view text);

std::optional<SlotStatement> ParseSlotStatement(std::string_view arguments);
std::optional<NameSlot> ParseNameSlot(std::string_view arguments);
std::optional<TableClauseSlot> ParseTableClauseSlot(std::string_view arguments);
// "1;%d", with or without a closing ';'.
std::optional<int> ParseSingleSlot(std::string_view arguments);

}  // namespace strivex::relay
