// Texts with quotes reach the local file whole through the statements the module and host write
// and read them with, on a real SQLite file.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "db/lab_statements.h"
#include "db/local_statements.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

constexpr char kName[] = "O'Brien ''x'";

struct QuotedCase {
  const char* label;
  std::string write;                  // run first, when not empty
  std::string sql;                    // GetRecords' statement, or DeschidTabel's table
  std::optional<std::string> clause;  // DeschidTabel's clause
  const char* column;
  std::string expected;
};

TEST(LocalStatementsTest, QuotedTextsAreWrittenAndFoundWhole) {
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  BazaDeDate db;
  ASSERT_TRUE(db.DeschidBazaLocala((dir / "local.db").string(), "quomar", 1));
  const std::vector<QuotedCase> cases = {
      {"LabMachineClause", LocalMachineInsert(77, kName), kMachinesTable, MachineByNameClause(kName), "ID", "77"},
      {"LocalMachineClause", "", kLocalMachinesTable, LocalMachineByNameClause(kName), "ID", "77"},
      {"LocalMachineId", "", LocalMachineIdQuery(kName), std::nullopt, "ID", "77"},
      {"InitUpdate", MedianexInitWrite("Parola", kName, true), MedianexInitValueQuery("Parola"), std::nullopt,
       "Valoare", kName},
      {"InitInsert", MedianexInitWrite(kName, "v'1", false), MedianexInitValueQuery(kName), std::nullopt, "Valoare",
       "v'1"},
      {"PortInsert", PortSettingInsert(77, kName), PortSettingQuery(77), std::nullopt, "VALUE", kName},
  };
  for (const QuotedCase& c : cases) {
    SCOPED_TRACE(c.label);
    if (!c.write.empty()) {
      ASSERT_TRUE(db.SQLCommand(c.write, 0));
    }
    ASSERT_TRUE(c.clause ? db.DeschidTabel(c.sql, *c.clause, 0) : db.GetRecords(c.sql, 0));
    EXPECT_EQ(db.ValoareColoana(c.column, 0).ToText(), c.expected);
    db.InchidTabel(0);
  }
}

}  // namespace
}  // namespace strivex
