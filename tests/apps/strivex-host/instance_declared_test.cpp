// What an administrator writes in an instance file reaches the local database at every start of
// strivex-host, not only the first: a real local.db prepared by one start, changed meanwhile (by
// the dialogs, or older than the newer rows), then started again with another file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

// `column` of the rows `sql` gives, "|"-joined (an empty `sql`: nothing done).
std::string Column(const std::filesystem::path& file, const std::string& sql, const char* column) {
  BazaDeDate local;
  std::string joined;
  local.DeschidBazaLocala(file.string(), "", 1);
  bool row = !sql.empty() && local.GetRecords(sql, 0) && local.RowAvailable(0);
  for (; row; row = local.NextElementTabel(0)) {
    joined += (joined.empty() ? "" : "|") + local.ValoareColoana(column, 0).ToText();
  }
  return joined;
}

TEST(InstanceDeclared, EveryStartWritesTheFilesValuesAndLogsWhatChanged) {
  const char* kOp = "UPDATE Medianex_Init SET Valoare='op' WHERE Proprietate='Utilizator'";
  const struct {
    const char *first, *between, *second;  // the file at each start; what was done meanwhile
    std::vector<std::string> args;         // after --instance at the second start
    const char *property, *stored;         // a Medianex_Init row after the second start
    const char *declared, *logged, *unlogged;  // the recorded declaration; fragments of stderr
  } cases[] = {
      {"server = old\ndatabase = lab\n", "", "server = new\ndatabase = lab\n", {}, "Adresa Server", "new",
       "Adresa Server|Baza de date", "local.db: Adresa Server changed from 'old' to 'new' (declared in CFG)\n",
       "Baza de date"},
      {"user = strivex\n", kOp, "user = lis\n", {}, "Utilizator", "lis", "Utilizator",
       "Utilizator changed from 'op' to 'lis'", "Parola"},
      {"user = strivex\nport = COM2\n", kOp, "server = s\nport = COM1\n", {}, "Utilizator", "op", "Adresa Server|Port",
       "port changed from 'COM2' to 'COM1' (declared in CFG)", "Utilizator"},
      {"server-port = 1433\nclient-charset = CP1250\n", "DELETE FROM Medianex_Init WHERE Proprietate='Versiune TDS'",
       "client-charset = CP1250\ntds-version = 7.4\n", {}, "Versiune TDS", "7.4", "Set Caractere|Versiune TDS",
       "Versiune TDS added as '7.4' (declared in CFG)", "Set Car"},
      {"password-file = pw1\n", "", "password-file = pw2\n", {}, "Parola", "new-secret", "Parola",
       "local.db: Parola changed (declared in CFG)\n", "secret"},
      {"relayed = yes\n", "", "relayed = no\n", {}, "DirectConect", "1", "DirectConect",
       "DirectConect changed from '0' to '1'", "Adresa"},
      {"server = f\n", "", "server = f\n", {"--server", "cli", "--relayed"}, "Adresa Server", "cli",
       "Adresa Server|DirectConect", "Adresa Server changed from 'f' to 'cli' (given on the command line)", "declared"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    const testing::TempDir dir;
    // The instance file, its working directory and the password files in one folder.
    const std::filesystem::path work = dir / "strivex", file = work / "bench-1.ini", db = work / "local.db";
    std::filesystem::create_directories(work);
    testing::WriteFile(work / "pw1", "old-secret\n");
    testing::WriteFile(work / "pw2", "new-secret\n");
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    const auto start = [&](const std::string& settings, std::vector<std::string> args) {
      testing::WriteFile(file, "machine-id = 5\nname = S\nmodule = /nonexistent.so\nworkdir = " + work.string() +
                                   "\n" + settings);
      args.insert(args.begin(), {"--allow-root", "--instance", "bench-1"});
      // The module cannot be loaded: the host ends right after preparing the local database.
      const auto result = testing::RunProcess(STRIVEX_HOST_PATH, args);
      EXPECT_EQ(result.exitCode, 1) << result.err;
      return result.err;
    };
    start(c.first, {});
    Column(db, c.between, "");
    const std::string err = start(c.second, c.args);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(Column(db, std::string("SELECT * FROM Medianex_Init WHERE Proprietate='") + c.property + "'", "Valoare"),
              c.stored);
    EXPECT_EQ(Column(db, "SELECT * FROM Setari_Declarate ORDER BY 1", "Proprietate"), c.declared);
    std::string logged = c.logged;
    if (const size_t at = logged.find("CFG"); at != std::string::npos) logged.replace(at, 3, file.string());
    EXPECT_NE(err.find(logged), std::string::npos) << err;
    EXPECT_EQ(err.find(c.unlogged), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace strivex
