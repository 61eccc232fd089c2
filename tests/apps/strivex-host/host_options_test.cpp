// The host's command line and the local database it prepares for a new installation.

#include "host_options.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "db/baza_de_date.h"
#include "local_database.h"
#include "support/temp_dir.h"

namespace strivex::host_app {
namespace {

ParsedHostOptions Parse(std::vector<std::string_view> args) { return ParseHostOptions(args); }

TEST(HostOptions, FullLineWithValuesAfterEqualsOrApart) {
  const auto parsed = Parse({"--module", "/m/lib.so", "--machine-id=5", "--name", "Strivex", "--local-db", "l.db",
                             "--server", "srv", "--database=lab", "--user", "u", "--password", "p;w", "--relayed",
                             "--port", "/dev/pts/4", "--workdir", "/w", "--close-ends-module", "--server-unavailable"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const HostOptions& o = parsed.options;
  EXPECT_EQ(o.modulePath, "/m/lib.so");
  EXPECT_EQ(o.machineId, 5);
  EXPECT_EQ(o.name, "Strivex");
  EXPECT_EQ(o.localDb, "l.db");
  EXPECT_EQ(o.settings, (std::map<std::string, std::string, std::less<>>{
                            {"database", "lab"}, {"server", "srv"}, {"user", "u"}}));
  EXPECT_EQ(o.password, "p;w");
  EXPECT_EQ(o.relayed, true);
  EXPECT_EQ(o.port, "/dev/pts/4");
  EXPECT_EQ(o.workdir, "/w");
  EXPECT_TRUE(o.closeEndsModule);
  EXPECT_TRUE(o.serverUnavailable);
}

TEST(HostOptions, DefaultsLeaveTheHostRecordFlagsClear) {
  const auto parsed = Parse({"--machine-id", "-3", "--name", "X", "--local-db", "l.db"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.options.machineId, -3);
  EXPECT_FALSE(parsed.options.closeEndsModule);
  EXPECT_FALSE(parsed.options.serverUnavailable);
  EXPECT_EQ(parsed.options.relayed, std::nullopt);
  EXPECT_FALSE(parsed.options.port);
  EXPECT_TRUE(parsed.options.modulePath.empty());
}

TEST(HostOptions, HelpWinsOverAnythingElse) {
  const auto parsed = Parse({"--bogus", "--help"});
  EXPECT_TRUE(parsed.options.help);
  EXPECT_TRUE(Parse({"-h"}).options.help);
}

// Root is refused unless the command line allows it, before an instance file is looked for.
TEST(HostOptions, RootRefusedUnlessAllowed) {
  const struct {
    uid_t euid;
    std::vector<std::string_view> args;
    bool refused;
  } cases[] = {
      {0, {"--machine-id", "1", "--name", "X", "--local-db", "l.db"}, true},
      {0, {"--machine-id", "1", "--name", "X", "--local-db", "l.db", "--allow-root"}, false},
      {0, {"--allow-root", "--instance", "none-here"}, false},
      {1000, {"--machine-id", "1", "--name", "X", "--local-db", "l.db"}, false},
  };
  for (const auto& c : cases) {
    const std::string why = RootRefusal(c.euid, Parse(c.args).options.allowRoot);
    const std::string advice = why.empty() ? "" : why.substr(why.find("give"));
    EXPECT_EQ(advice, c.refused ? "give --allow-root to run it as root anyway" : "") << why;
  }
}

TEST(HostOptions, ErrorsNameTheOption) {
  const std::pair<std::vector<std::string_view>, std::string> cases[] = {
      {{"--name", "X", "--local-db", "l"}, "--machine-id: required"},
      {{"--machine-id", "5x", "--name", "X", "--local-db", "l"}, "--machine-id: not a number"},
      {{"--machine-id", "5", "--local-db", "l"}, "--name: required"},
      {{"--machine-id", "5", "--name", "X"}, "--local-db: required"},
      {{"--machine-id", "5", "--name", "X", "--local-db"}, "--local-db: missing value"},
      {{"--machine-id", "5", "--name", "X", "--local-db", "l", "--relayed=1"}, "--relayed: takes no value"},
      {{"--machine-id", "5", "--name", "X", "--local-db", "l", "--colour"}, "--colour: unknown option"},
      {{"--machine-id", "5", "--name", "X", "--local-db", "l", "--password", "p", "--password-file=f"},
       "--password and --password-file: give one of them"},
      {{"--machine-id", "5", "--name", std::string_view("012345678901234567890123456789012345678901234567890"),
        "--local-db", "l"},
       "longer than 50 bytes"},
  };
  for (const auto& [args, error] : cases) {
    const auto parsed = Parse(args);
    EXPECT_NE(parsed.error.find(error), std::string::npos) << parsed.error;
  }
}

class LocalDatabaseTest : public ::testing::Test {
 protected:
  HostOptions Options() {
    HostOptions o;
    o.machineId = 5;
    o.name = "Strivex";
    o.localDb = (dir_ / "local.db").string();
    return o;
  }
  std::vector<std::string> Rows(const std::string& sql, const std::vector<std::string>& columns) {
    BazaDeDate local;
    EXPECT_TRUE(local.DeschidBazaLocala((dir_ / "local.db").string(), "", 1));
    std::vector<std::string> rows;
    if (!local.GetRecords(sql, 0) || !local.RowAvailable(0)) return rows;
    do {
      std::string row;
      for (const auto& column : columns) row += (row.empty() ? "" : "|") + local.ValoareColoana(column, 0).ToText();
      rows.push_back(row);
    } while (local.NextElementTabel(0));
    return rows;
  }
  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
};

TEST_F(LocalDatabaseTest, NewFileGetsServerSettingsAndTheInstrument) {
  HostOptions o = Options();
  o.settings = {{"server", "127.0.0.1"}, {"database", "lab"}, {"user", "o'neil"}};
  o.password = "pw";
  o.relayed = true;
  std::vector<std::string> changes;
  std::string error;
  ASSERT_TRUE(PrepareLocalDatabase(o, changes, error)) << error;
  EXPECT_EQ(Rows("SELECT Proprietate, Valoare FROM Medianex_Init ORDER BY rowid", {"Proprietate", "Valoare"}),
            (std::vector<std::string>{"Adresa Server|127.0.0.1", "Baza de date|lab", "Utilizator|o'neil",
                                      "Parola|pw", "DirectConect|0", "Port Server|", "Versiune TDS|",
                                      "Set Caractere|"}));
  EXPECT_EQ(Rows("SELECT ID, name FROM MACHINES", {"ID", "name"}), std::vector<std::string>{"5|Strivex"});
  EXPECT_TRUE(Rows("SELECT NAME FROM MACHINE_SETTINGS", {"NAME"}).empty());
}

TEST_F(LocalDatabaseTest, ExistingFileKeepsItsInstrumentButTakesANewPort) {
  HostOptions o = Options();
  std::vector<std::string> changes;
  std::string error;
  ASSERT_TRUE(PrepareLocalDatabase(o, changes, error)) << error;
  o.machineId = 9;
  o.port = "/dev/pts/1";
  ASSERT_TRUE(PrepareLocalDatabase(o, changes, error)) << error;
  o.port = "/dev/pts/2";
  ASSERT_TRUE(PrepareLocalDatabase(o, changes, error)) << error;
  EXPECT_EQ(Rows("SELECT ID FROM MACHINES", {"ID"}), std::vector<std::string>{"5"});
  EXPECT_EQ(Rows("SELECT MachineID, NAME, VALUE FROM MACHINE_SETTINGS", {"MachineID", "NAME", "VALUE"}),
            std::vector<std::string>{"5|port|/dev/pts/2"});
}

TEST_F(LocalDatabaseTest, UnwritablePlaceIsReported) {
  HostOptions o = Options();
  o.localDb = (dir_ / "missing" / "local.db").string();
  std::vector<std::string> changes;
  std::string error;
  EXPECT_FALSE(PrepareLocalDatabase(o, changes, error));
  EXPECT_NE(error.find("local.db"), std::string::npos) << error;
}

}  // namespace
}  // namespace strivex::host_app
