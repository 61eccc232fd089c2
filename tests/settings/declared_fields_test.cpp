// Which settings the dialogs show read-only: the declaration strivex-host records at each start in
// a real SQLite settings file, read back as the dialogs read it.

#include "settings/declared_fields.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "db/baza_de_date.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

TEST(DbSettingsDeclaredTest, TheLastRecordSaysWhichFieldsAreDeclaredAndWhere) {
  const std::string byFile = "Stabilit de administrator in ";
  const struct {
    std::vector<std::vector<DeclaredField>> starts;  // recorded in turn; none: a file no host declared in
    std::vector<std::pair<const char*, std::string>> notes;  // property -> its tooltip ("": editable)
  } cases[] = {
      {{}, {{"Adresa Server", ""}, {"Port", ""}}},
      {{{{"Adresa Server", "/etc/strivex/u-1.ini"}, {"Port", "/etc/o'neil.ini"}}},
       {{"Adresa Server", byFile + "/etc/strivex/u-1.ini"}, {"Port", byFile + "/etc/o'neil.ini"}, {"Parola", ""}}},
      {{{{"Parola", ""}}}, {{"Parola", byFile + "linia de comanda a strivex-host"}}},
      // A key taken out of the file is the operator's again at the next start.
      {{{{"Adresa Server", "/a.ini"}, {"DirectConect", "/a.ini"}}, {{"DirectConect", "/a.ini"}}},
       {{"Adresa Server", ""}, {"DirectConect", byFile + "/a.ini"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    testing::TempDir dir;
    testing::ScopedCurrentDir cwd(dir.path());
    BazaDeDate local;
    ASSERT_TRUE(local.DeschidBazaLocala((dir / "local.db").string(), "quomar", 1));
    for (const auto& record : c.starts) {
      for (const std::string& statement : DeclaredFieldsStatements(record)) ASSERT_TRUE(local.SQLCommand(statement, 0));
    }
    const DeclaredFields declared = DeclaredFields::Read(local);
    for (const auto& [property, note] : c.notes) EXPECT_EQ(declared.Note(property), note) << property;
    EXPECT_FALSE(std::filesystem::exists(dir / "_acterr.log")) << "a file without a record is no failure";
  }
}

}  // namespace
}  // namespace strivex
