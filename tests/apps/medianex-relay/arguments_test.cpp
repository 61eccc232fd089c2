// Argument texts whose statements and names carry the separators themselves.

#include <gtest/gtest.h>

#include "arguments.h"

namespace strivex::relay {
namespace {

struct SlotStatementCase {
  const char* text;
  bool ok;
  int slot;
  const char* statement;
};

TEST(RelayArguments, SlotThenStatementKeepsTheStatementWhole) {
  const SlotStatementCase cases[] = {
      {"2;0;select 1", true, 0, "select 1"},
      {"2;9;insert into t values (1,'a;b'); select 2", true, 9,
       "insert into t values (1,'a;b'); select 2"},
      {"2;3;", true, 3, ""},
      {"2;1;;", true, 1, ";"},
      {"2;10;select 1", false, 0, ""},
      {"2;-1;select 1", false, 0, ""},
      {"2;x;select 1", false, 0, ""},
      {"2; 1;select 1", false, 0, ""},
      {"2;1", false, 0, ""},
      {"3;1;select 1", false, 0, ""},
      {"2", false, 0, ""},
      {"", false, 0, ""},
  };
  for (const SlotStatementCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseSlotStatement(c.text);
    ASSERT_EQ(parsed.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(parsed->slot, c.slot);
    EXPECT_EQ(parsed->statement, c.statement);
  }
}

struct NameSlotCase {
  const char* text;
  bool ok;
  const char* name;
  int slot;
};

TEST(RelayArguments, NameThenSlotSplitsAtTheLastComma) {
  const NameSlotCase cases[] = {
      {"2;MACHINES,9", true, "MACHINES", 9},
      {"2;a,b;c,0", true, "a,b;c", 0},
      {"2;Valoare,8", true, "Valoare", 8},
      {"2;MACHINES,", false, "", 0},
      {"2;,1", false, "", 0},
      {"2;MACHINES", false, "", 0},
      {"2;MACHINES,1x", false, "", 0},
      {"1;MACHINES,1", false, "", 0},
  };
  for (const NameSlotCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseNameSlot(c.text);
    ASSERT_EQ(parsed.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(parsed->name, c.name);
    EXPECT_EQ(parsed->slot, c.slot);
  }
}

struct TableClauseCase {
  const char* text;
  bool ok;
  const char* table;
  const char* clause;
  int slot;
};

TEST(RelayArguments, TableClauseSlotTakesTheTableToTheFirstComma) {
  const TableClauseCase cases[] = {
      {"3;MACHINES,where [name]='AX',9", true, "MACHINES", "where [name]='AX'", 9},
      {"3;T,where a in (1,2) and b=';,',0", true, "T", "where a in (1,2) and b=';,'", 0},
      {"3;T,,4", true, "T", "", 4},
      {"3;T,where x=1", false, "", "", 0},
      {"3;T,9", false, "", "", 0},
      {"3;,where x=1,2", false, "", "", 0},
      {"2;T,where x=1,2", false, "", "", 0},
  };
  for (const TableClauseCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseTableClauseSlot(c.text);
    ASSERT_EQ(parsed.has_value(), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(parsed->table, c.table);
    EXPECT_EQ(parsed->clause, c.clause);
    EXPECT_EQ(parsed->slot, c.slot);
  }
}

TEST(RelayArguments, SingleSlotWithOrWithoutClosingSemicolon) {
  EXPECT_EQ(ParseSingleSlot("1;4"), 4);
  EXPECT_EQ(ParseSingleSlot("1;4;"), 4);
  EXPECT_EQ(ParseSingleSlot("1;"), std::nullopt);
  EXPECT_EQ(ParseSingleSlot("1;4;;"), std::nullopt);
  EXPECT_EQ(ParseSingleSlot("1;12"), std::nullopt);
  EXPECT_EQ(ParseSingleSlot("0;"), std::nullopt);
}

}  // namespace
}  // namespace strivex::relay
