// Opening the local settings file and the session's open rules.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

using testing::ReadFile;
using testing::ScopedCurrentDir;
using testing::TempDir;

class LocalSessionTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Log() const { return ReadFile(dir_ / "_acterr.log"); }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
  platform::MessageBoxRecorder boxes_;
  BazaDeDate db_;
};

TEST_F(LocalSessionTest, MissingFileIsCreatedOwnerOnlyWithTheSchema) {
  ASSERT_TRUE(db_.DeschidBazaLocala(Path("local.db"), "quomar", 1));
  EXPECT_EQ(db_.connected.load(), 1);
  EXPECT_EQ(db_.database, Path("local.db"));
  EXPECT_EQ(db_.password, "quomar");
  struct stat info {};
  ASSERT_EQ(stat(Path("local.db").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ASSERT_TRUE(db_.DeschidTabel("Medianex_Init", 9));
  std::vector<std::string> properties;
  do properties.push_back(db_.ValoareColoana("Proprietate", 9).strVal);
  while (db_.NextElementTabel(9));
  EXPECT_EQ(properties, (std::vector<std::string>{"Adresa Server", "Baza de date", "Utilizator",
                                                  "Parola", "DirectConect", "Port Server", "Versiune TDS",
                                                  "Set Caractere"}));
  EXPECT_TRUE(db_.DeschidTabel("MACHINES", "where [name]='Strivex'", 9));
  EXPECT_TRUE(db_.DeschidTabel("MACHINE_SETTINGS", "where MachineID=5", 9));
}

TEST_F(LocalSessionTest, TextsCompareIgnoringCase) {
  ASSERT_TRUE(db_.DeschidBazaLocala(Path("local.db"), "", 1));
  EXPECT_EQ(db_.password, "");
  ASSERT_TRUE(db_.SQLCommand(
      "INSERT INTO MACHINE_SETTINGS ([MachineID],[NAME],[VALUE]) Values (5,'port','com1')", 0));
  ASSERT_TRUE(db_.SQLCommand(
      "UPDATE MACHINE_SETTINGS SET [VALUE]='COM3' where NAME='Port' and MachineID=5", 0));
  ASSERT_TRUE(db_.DeschidTabel("MACHINE_SETTINGS", "where MachineID=5", 0));
  EXPECT_EQ(db_.ValoareColoana("VALUE", 0).strVal, "COM3");
}

TEST_F(LocalSessionTest, FailedOpenLogsOnceWithoutAMessageBox) {
  EXPECT_FALSE(db_.DeschidBazaLocala(Path("no/such/dir/local.db"), "quomar", 1));
  EXPECT_EQ(db_.connected.load(), 0);
  EXPECT_EQ(db_.database, "");
  const std::string log = Log();
  EXPECT_TRUE(log.starts_with("\r\n************"));
  EXPECT_TRUE(log.ends_with("**************\r\nEroare: Unspecified error la deschidere conectie")) << log;
  EXPECT_TRUE(boxes_.Texts().empty());

  testing::WriteFile(dir_ / "not-a-db", "this is not a database file at all, just text\n");
  EXPECT_FALSE(db_.DeschidBazaLocala(Path("not-a-db"), "", 1));

  const std::string odbc = "Driver={No Such Driver}; Server=x";
  EXPECT_FALSE(db_.DeschidConectie(odbc, 1));
  // A login's entry goes on with the driver's words.
  EXPECT_NE(Log().find("\r\nEroare: Unspecified error la deschidere conectie ->" + odbc + "\r\n"), std::string::npos)
      << Log();
}

TEST_F(LocalSessionTest, RelayedOpensNeedAServerAddress) {
  std::vector<std::string> notices;
  EXPECT_FALSE(db_.DeschidBazaLocala(Path("local.db"), "", 0));
  notices.push_back(db_.lastNotice());
  EXPECT_FALSE(db_.DeschidConectie("Driver={SQL Server}; Server=x", 0));
  notices.push_back(db_.lastNotice());
  db_.serverAddress = "relay.lab";
  EXPECT_FALSE(db_.DeschidBazaLocala(Path("local.db"), "", 0));
  notices.push_back(db_.lastNotice());
  EXPECT_EQ(notices, (std::vector<std::string>{"adresa web este necesara", "adresa web este necesara",
                                               "Indirect Conect"}));
  EXPECT_TRUE(boxes_.Texts().empty()) << "the caller decides what the operator sees";
  EXPECT_EQ(db_.connected.load(), 0);
}

TEST_F(LocalSessionTest, OpenFromFieldsPicksTheFileWithoutAServer) {
  db_.database = Path("fields.db");
  db_.password = "quomar";
  ASSERT_TRUE(db_.DeschidConectieSetari(1));
  EXPECT_EQ(db_.connected.load(), 1);

  BazaDeDate server;
  server.serverAddress = "127.0.0.1";
  server.database = "lab";
  server.user = "u";
  server.password = "p";
  // Whether or not a server answers, the string is built from the four fields in this order.
  if (!server.DeschidConectieSetari(1)) {
    EXPECT_NE(Log().find("->Driver={SQL Server}; Server=127.0.0.1; Network=; Database=lab; Uid=u;Pwd=***"),
              std::string::npos);
  }
}

TEST_F(LocalSessionTest, CloseOfANeverOpenedSession) {
  db_.connected.store(0);
  db_.InchidConectie();
  EXPECT_EQ(db_.connected.load(), 0);
  EXPECT_FALSE(db_.SQLCommand("SELECT 1", 0));  // nothing to run it on
  EXPECT_EQ(db_.lastErrorCode.load(), 0xFFFF);
  EXPECT_FALSE(db_.DeschidTabel("MACHINES", "where ID=1", 9));
  EXPECT_EQ(db_.lastErrorCode.load(), 0xFFFF);
}

}  // namespace
}  // namespace strivex
