// The database settings dialog's model on real parts: a SQLite settings file, the development
// PostgreSQL server for the connection test, and servers on 127.0.0.1 that refuse or never answer.

#include "settings/db_settings_model.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "db/db_session_fixture.h"
#include "db/silent_server.h"
#include "host/startup_steps.h"
#include "platform/message_box.h"
#include "support/lab_cluster.h"
#include "support/temp_dir.h"
#include "support/unused_port.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

DbConnectionFields FieldsOf(const std::string& connection) {
  return {ConnectionValue(connection, "Server").value_or(""), ConnectionValue(connection, "Database").value_or(""),
          ConnectionValue(connection, "Uid").value_or(""), ConnectionValue(connection, "Pwd").value_or(""), 1};
}

TEST(DbSettingsRowsTest, RowsInOrderEscapedAndReadBackAtTheNextStart) {
  const DbConnectionFields fields{"lab'srv", "LIS", "o'neil", "pa'ss; x", 0, "29674", "7.4", "CP1250"};
  EXPECT_EQ(MedianexInitStatements(fields),
            (std::vector<std::string>{
                "UPDATE Medianex_Init SET Valoare='lab''srv' where Proprietate='Adresa Server'",
                "UPDATE Medianex_Init SET Valoare='LIS' where Proprietate='Baza de date'",
                "UPDATE Medianex_Init SET Valoare='o''neil' where Proprietate='Utilizator'",
                "UPDATE Medianex_Init SET Valoare='pa''ss; x' where Proprietate='Parola'",
                "UPDATE Medianex_Init SET Valoare='0' where Proprietate='DirectConect'",
                "UPDATE Medianex_Init SET Valoare='29674' where Proprietate='Port Server'",
                "UPDATE Medianex_Init SET Valoare='7.4' where Proprietate='Versiune TDS'",
                "UPDATE Medianex_Init SET Valoare='CP1250' where Proprietate='Set Caractere'"}));

  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  const std::string path = (dir / "local.db").string();
  BazaDeDate local;
  ASSERT_TRUE(local.DeschidBazaLocala(path, "quomar", 1));
  // A file someone made readable for all is closed again before the password goes in.
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  WriteMedianexInit(local, fields);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  platform::MessageBoxRecorder boxes;
  ServerSettings read;
  ReadServerSettings(local, read);
  EXPECT_EQ(read.serverAddress, fields.serverAddress);
  EXPECT_EQ(read.databaseName, fields.database);
  EXPECT_EQ(read.userName, fields.user);
  EXPECT_EQ(read.password, fields.password);
  EXPECT_EQ(read.directConect, 0);
  EXPECT_EQ(read.serverPort, fields.serverPort);
  EXPECT_EQ(read.tdsVersion, fields.tdsVersion);
  EXPECT_EQ(read.clientCharset, fields.clientCharset);
}

// A local file from before the server's port, TDS version and character set had rows: the
// start-up adds them and moves an old "HOST;Port=N;..." address into them, once, and logs it.
TEST(DbSettingsRowsTest, OldFilesGetTheNewRowsAndTheirOldAddressIsMovedOnce) {
  const struct {
    const char* address;  // "Adresa Server" of the old file
    const char* portRow;  // a "Port Server" already there; null: none of the new rows
    std::string read;     // what each start then reads: address|port|TDS version|character set
  } cases[] = {
      {"lab-db", nullptr, "lab-db|||"},
      {"127.0.0.1;Port=29674;TDS_Version=7.4;ClientCharset=CP1250", nullptr, "127.0.0.1|29674|7.4|CP1250"},
      {"lab-db;Pwd=s3cret;Port=29674;TDS_Version=7.4", "1433", "lab-db|1433|7.4|"},  // a set row wins
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    testing::TempDir dir;
    const testing::ScopedCurrentDir cwd(dir.path());
    platform::MessageBoxRecorder boxes;
    const std::string path = (dir / "local.db").string();
    const std::string log = (dir / "_acterr.log").string();
    {
      BazaDeDate old;
      ASSERT_TRUE(old.DeschidBazaLocala(path, "quomar", 1));
      old.SQLCommand("DELETE FROM Medianex_Init WHERE Proprietate IN ('Port Server','Versiune TDS','Set Caractere')",
                     0);
      if (c.portRow != nullptr) {
        old.SQLCommand(std::string("INSERT INTO Medianex_Init VALUES ('Port Server','") + c.portRow + "')", 0);
      }
      old.SQLCommand(std::string("UPDATE Medianex_Init SET Valoare='") + c.address + "' WHERE Proprietate='Adresa Server'",
                     0);
    }
    for (int start = 1; start <= 2; ++start) {
      BazaDeDate local;
      ASSERT_TRUE(local.DeschidBazaLocala(path, "quomar", 1));
      ServerSettings read;
      ReadServerSettings(local, read);
      EXPECT_EQ(read.serverAddress + "|" + read.serverPort + "|" + read.tdsVersion + "|" + read.clientCharset, c.read);
      ASSERT_TRUE(local.GetRecords("SELECT count(*) AS n FROM Medianex_Init", 2));
      EXPECT_EQ(local.ValoareColoana("n", 2).intVal, 8) << "one row each";
    }
    const std::string entries = ::access(log.c_str(), F_OK) == 0 ? testing::ReadFile(log) : "";
    const bool moved = std::string(c.address).find(';') != std::string::npos;
    EXPECT_EQ(entries.find("Setari server mutate: Adresa Server='" + c.read.substr(0, c.read.find('|')) + "'") !=
                  std::string::npos,
              moved)
        << entries;
    EXPECT_EQ(entries.find("Setari server mutate", entries.find("Setari server mutate") + 1), std::string::npos);
    EXPECT_EQ(entries.find("s3cret"), std::string::npos) << entries;
  }
}

TEST(DbSettingsFieldsTest, OkAndTestTakeTheirTextLimits) {
  const DbDialogFields typed{"/ignored.db", std::string(250, 'a'), std::string(120, 'd'), std::string(60, 'u'),
                             std::string(60, 'p'), true};
  struct Case {
    const char* label;
    DbConnectionFields taken;
    size_t address;
  };
  const Case cases[] = {{"ok", FieldsForSaving(typed), 99}, {"test", FieldsForTest(typed), 199}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.taken.serverAddress.size(), c.address);
    EXPECT_EQ(c.taken.database.size(), 99u);
    EXPECT_EQ(c.taken.user.size(), 49u);
    EXPECT_EQ(c.taken.password.size(), 49u);
    EXPECT_EQ(c.taken.direct, 0) << "Folosesc ServMedianex: relayed";
  }
  EXPECT_EQ(DialogTimeouts({30s, 60s}).login, kDialogLoginLimit);
  EXPECT_EQ(DialogTimeouts({2s, 60s}).login, 2s);
  EXPECT_EQ(DialogTimeouts({30s, 60s}).query, 60s);
}

// The server field through its parser: OK stores a port typed in the address apart from it, and
// what no driver could read is refused with the reason the dialog shows.
TEST(DbSettingsFieldsTest, OkSplitsTheAddressOrSaysWhyItCannot) {
  const struct {
    const char* address;
    bool relayed;
    const char* port;
    std::string problem, savedAddress = "", savedPort = "";
  } cases[] = {
      {"lab-db,29674", false, "", "", "lab-db", "29674"},
      {" lab-db\\LIS , 1500", false, "1433", "", "lab-db\\LIS", "1500"},
      {"relay:9090", true, "1433", "", "relay:9090", "1433"},
      {"lab-db,14x3", false, "", "Portul din Adresa Server trebuie sa fie un numar intre 1 si 65535"},
      {"lab-db", false, "0", "Port trebuie sa fie un numar intre 1 si 65535"},
      {"lab-db;Port=29674", false, "",
       "Adresa Server trebuie sa fie de forma SERVER, SERVER,PORT sau SERVER\\INSTANTA; portul, versiunea TDS si "
       "setul de caractere au campuri proprii"},
      {"relay,9090", true, "", "Adresa Server trebuie sa fie de forma SERVER sau SERVER:PORT"},
      {",1433", false, "", "Adresa Server nu contine numele serverului"},
  };
  for (const auto& c : cases) {
    const DbDialogFields typed{"/ignored.db", c.address, "LIS", "u", "p", c.relayed, c.port};
    EXPECT_EQ(DbDialogProblem(typed), c.problem) << c.address;
    if (!c.problem.empty()) continue;
    EXPECT_EQ(FieldsForSaving(typed).serverAddress, c.savedAddress) << c.address;
    EXPECT_EQ(FieldsForSaving(typed).serverPort, c.savedPort) << c.address;
  }
}

TEST(DbSettingsFieldsTest, PasswordsAreMaskedInWhatIsLogged) {
  const std::pair<const char*, const char*> cases[] = {
      {"Driver={SQL Server}; Server=s; Network=; Database=d; Uid=u;Pwd=se'cret",
       "Driver={SQL Server}; Server=s; Network=; Database=d; Uid=u;Pwd=***"},
      {"Uid=u; PWD = {a;b} ;Server=s", "Uid=u; PWD =***;Server=s"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.db ;Jet OLEDB:Database Password=quomar ;",
       "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.db ;Jet OLEDB:Database Password=***;"},
      {"Server=s;Database=pwd", "Server=s;Database=pwd"},
  };
  for (const auto& [plain, masked] : cases) EXPECT_EQ(MaskPasswords(plain), masked);
}

class DbConnectionTestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lab_ = testing::LabConnectionString();
    if (lab_.empty()) {
      if (testing::LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
      GTEST_SKIP() << "no development server";
    }
  }
  std::string Log() const { return testing::ReadFile(dir_ / "_acterr.log"); }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  platform::MessageBoxRecorder boxes_;
  std::string lab_;
};

TEST_F(DbConnectionTestTest, SaysWhetherTheFieldsConnectWithinAFewSeconds) {
  const testing::SilentServer silent(testing::SilentServer::kMute);
  ASSERT_NE(silent.port(), 0);
  const std::string closed = std::to_string(testing::UnusedPort());
  const std::string mute = std::to_string(silent.port());
  const DbConnectionFields good = FieldsOf(lab_);
  DbConnectionFields wrongPassword = good;
  wrongPassword.password = "not'the-password";
  DbConnectionFields relayedWithoutAddress = good;
  relayedWithoutAddress.serverAddress.clear();
  relayedWithoutAddress.direct = 0;
  struct Case {
    const char* label;
    DbConnectionFields fields;
    const char* pgport;  // null: the development server's; "": none
    std::string said;
  };
  // The development server's port through the settings alone, PGPORT then naming no server.
  const std::string devPort = std::getenv("PGPORT") != nullptr ? std::getenv("PGPORT") : "";
  DbConnectionFields portRow = good, portInAddress = good;
  portRow.serverPort = devPort;
  portInAddress.serverAddress += "," + devPort;
  const Case cases[] = {
      {"good", good, nullptr, "Conectare Reusita"},
      {"port from its own row", portRow, "", "Conectare Reusita"},
      {"port in the address", portInAddress, closed.c_str(), "Conectare Reusita"},
      {"wrong password", wrongPassword, nullptr, "Insucces"},
      {"nobody listens", good, closed.c_str(), "Insucces"},
      // A server that never answers: the configured 30 s are cut to the dialog's limit.
      {"never answers", good, mute.c_str(), "Insucces"},
      {"relayed without address", relayedWithoutAddress, nullptr, "Insucces"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    testing::EnvironmentVariables port;
    if (c.pgport != nullptr) port.emplace_back("PGPORT", c.pgport);
    const testing::ScopedEnvironment env(port);
    // "": no PGPORT at all, as on a laboratory PC.
    if (c.pgport != nullptr && *c.pgport == '\0') ::unsetenv("PGPORT");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TestDbConnection(c.fields, {30s, 30s}), c.said);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kDialogLoginLimit + 3s);
  }
  // Failed opens are logged with the connection string, never with its password.
  EXPECT_NE(Log().find("Pwd=***"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("not'the-password"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("Pwd=" + good.password), std::string::npos) << Log();
}

}  // namespace
}  // namespace strivex
