// The database settings dialog's model on real parts: a SQLite settings file, the development
// PostgreSQL server for the connection test, and servers on 127.0.0.1 that refuse or never answer.

#include "settings/db_settings_model.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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
    const char* pgport;  // null: the development server's
    std::string said;
  };
  const Case cases[] = {
      {"good", good, nullptr, "Conectare Reusita"},
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
