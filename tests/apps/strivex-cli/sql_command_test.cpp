// Runs the built strivex-cli sql on a local settings file and on the development laboratory
// server, the way the operator checks settings and statements.

#include "sql_command.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/connection_string.h"
#include "support/relay_server.h"
#include "support/requirements.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "support/unused_port.h"
#include "util/format.h"

namespace strivex::cli {
namespace {

using strivex::testing::ProcessResult;
using strivex::testing::RunProcess;
using strivex::testing::ScopedCurrentDir;
using strivex::testing::TempDir;
using strivex::testing::WriteFile;

const std::string kOk = "result=1 lastErrorCode=0\n";

ProcessResult Cli(const std::vector<std::string>& args) { return RunProcess(STRIVEX_CLI_PATH, args); }

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

std::string LabConnectionString() {
  const char* value = std::getenv("STRIVEX_LAB_CONNSTR");
  return value ? value : "";
}

struct Case {
  const char* name;
  std::vector<std::string> args;  // after the open options
  std::string out;
  int exitCode;
  std::string err;  // a fragment of standard error; empty: nothing there
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void ExpectRun(const ProcessResult& r, const Case& c) {
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.exitCode, c.exitCode);
  if (c.err.empty()) {
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

// Each test in a directory of its own, which is where the tool writes its error log.
class SqlCliTest : public ::testing::Test {
 protected:
  std::vector<std::string> Local() const { return {"sql", "--local", file_}; }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
  std::string file_ = (dir_ / "local.db").string();
};

class SqlCliLocalTest : public SqlCliTest, public ::testing::WithParamInterface<Case> {};

TEST_P(SqlCliLocalTest, PrintsRowsAndStatus) {
  // Two instruments, the second with a name that needs escapes; --exec inserts and prints only
  // the status.
  for (const std::string& insert :
       {std::string("INSERT INTO MACHINES (ID, name) VALUES (3, 'Strivex')"),
        std::string("INSERT INTO MACHINES (ID, name) VALUES (4, 'a\tb\\ \xB5')")}) {
    ExpectRun(Cli(Join(Local(), {"--exec", insert})), {"seed", {}, kOk, 0, ""});
  }
  ExpectRun(Cli(Join(Local(), GetParam().args)), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, SqlCliLocalTest,
    ::testing::Values(
        Case{"AllColumns", {"SELECT * FROM MACHINES ORDER BY ID"},
             "ID\t3\t3\nname\t8\tStrivex\n\nID\t3\t4\nname\t8\ta\\tb\\\\ \\xb5\n\n" + kOk, 0, ""},
        Case{"ColumnsInGivenOrder", {"--columns", "name,ID", "SELECT * FROM MACHINES WHERE ID=3"},
             "name\t8\tStrivex\nID\t3\t3\n\n" + kOk, 0, ""},
        Case{"ColumnMissingFromTheSet", {"--columns=id,nosuch", "SELECT ID FROM MACHINES WHERE ID=3"},
             "id\t3\t3\nnosuch\t0\t\n\n" + kOk, 0, ""},
        Case{"TypeCodes", {"SELECT 7 AS i, 1.5 AS r, NULL AS n, 'x' AS t, 3000000000 AS big"},
             "i\t3\t7\nr\t5\t1.5\nn\t0\t\nt\t8\tx\nbig\t14\t3000000000\n\n" + kOk, 0, ""},
        Case{"ColumnNamesAndLineBreaksEscaped",
             {"SELECT 'x' || char(13, 10) || 'y' AS \"c\td\" FROM MACHINES WHERE ID=4"},
             "c\\td\t8\tx\\r\\ny\n\n" + kOk, 0, ""},
        Case{"OtherSlotAndPassword",
             {"--slot", "9", "--password", "quomar",
              "SELECT Valoare FROM Medianex_Init WHERE Proprietate='DirectConect'"},
             "Valoare\t8\t1\n\n" + kOk, 0, ""},
        Case{"EmptySetPrintsOnlyTheStatus", {"SELECT * FROM MACHINES WHERE ID=99"}, kOk, 0, ""},
        Case{"ExecPrintsNoRows", {"--exec", "SELECT * FROM MACHINES"}, kOk, 0, ""},
        Case{"ExecOfMissingTable", {"--exec", "UPDATE nosuch SET a=1"},
             "result=0 lastErrorCode=3127\n", 1,
             "strivex-cli: statement: Eroare la executare comanda SQL ('UPDATE nosuch SET a=1'): "
             "IDispatch error #3127\n"},
        // Reading rows leaves the session's code alone; the message still names the failure.
        Case{"SelectOfMissingTable", {"SELECT * FROM nosuch"}, "result=0 lastErrorCode=0\n", 1,
             "IDispatch error #3127"},
        Case{"SyntaxError", {"--exec", "SELEC 1"}, "result=0 lastErrorCode=65535\n", 1,
             "Unspecified error"},
        // SQLCommand lets a failed conversion through; the exit status still says it failed.
        Case{"ConversionLetThroughButNotApplied", {"--exec", "UPDATE MACHINES SET rowid='abc' WHERE ID=3"},
             "result=1 lastErrorCode=3079\n", 1, "IDispatch error #3079"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SqlCliTest, ExecInsertThenSelect) {
  const Case inserted{"insert", {}, kOk, 0, ""};
  ExpectRun(Cli(Join(Local(), {"--exec", "INSERT INTO MACHINE_SETTINGS ([MachineID],[NAME],[VALUE]) "
                                         "Values (3,'port','com1')"})),
            inserted);
  ExpectRun(Cli(Join(Local(), {"--exec", "UPDATE MACHINE_SETTINGS SET [VALUE]='com3' where "
                                         "NAME='Port' and MachineID=3"})),
            inserted);
  ExpectRun(Cli(Join(Local(), {"--columns", "VALUE", "SELECT * FROM MACHINE_SETTINGS"})),
            {"select", {}, "VALUE\t8\tcom3\n\n" + kOk, 0, ""});
}

TEST_F(SqlCliTest, HelpDescribesTheOutput) {
  const ProcessResult r = Cli({"sql", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.starts_with("Usage: strivex-cli sql ")) << r.out;
  EXPECT_NE(r.out.find("result=<0|1> lastErrorCode=<n>"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

// Refused before anything is opened (nothing is created), or the open itself fails: exit 2,
// nothing on standard output, the reason on standard error.
TEST_F(SqlCliTest, UsageErrorsAndFailedOpens) {
  const std::string connect = "Driver={SQL Server}; Server=127.0.0.1; Database=x; Uid=u;Pwd=p";
  const std::string notADatabase = (dir_ / "text.db").string();
  WriteFile(notADatabase, "this is not a database file, only some text in it\n");
  const std::string closed = std::to_string(strivex::testing::UnusedPort());
  struct Failure {
    std::vector<std::string> args;  // after "sql"
    std::string err;                // how standard error begins
    bool oneLine;
  };
  const std::vector<Failure> failures{
      {{"select 1"}, "strivex-cli: sql: give exactly one of --local FILE and --connect", true},
      {{"--local", file_, "--connect", connect, "select 1"}, "strivex-cli: sql: give exactly one", true},
      {{"--local", file_}, "strivex-cli: sql: missing STATEMENT", true},
      {{"--local", file_, "select 1", "select 2"}, "strivex-cli: select 2: unexpected extra argument", true},
      {{"--local"}, "strivex-cli: --local: missing value", true},
      {{"--local", file_, "select 1", "--slot"}, "strivex-cli: --slot: missing value", true},
      {{"--local", file_, "--slot", "10", "select 1"}, "strivex-cli: --slot: '10' is not a slot", true},
      {{"--local", file_, "--slot", "-1", "select 1"}, "strivex-cli: --slot: '-1' is not a slot", true},
      {{"--local", file_, "--slot=", "select 1"}, "strivex-cli: --slot: '' is not a slot", true},
      {{"--local", file_, "--columns", "a,,b", "select 1"}, "strivex-cli: --columns: 'a,,b' names an empty", true},
      {{"--local", file_, "--columns=", "select 1"}, "strivex-cli: --columns: '' names an empty", true},
      {{"--local", file_, "--exec=yes", "select 1"}, "strivex-cli: --exec: takes no value", true},
      {{"--local", file_, "--bogus", "select 1"}, "strivex-cli: --bogus: unknown option", true},
      {{"--local", file_, "--relay", "host:1", "select 1"}, "strivex-cli: --relay: goes with --connect", true},
      {{"--connect", connect, "--relay=", "select 1"}, "strivex-cli: --relay: empty address", true},
      {{"--connect", connect, "--password-file", "pw", "select 1"},
       "strivex-cli: --password-file: the --connect string has a password of its own", true},
      // Names the session's connection string would cut short or trim: another file would open.
      {{"--local", (dir_ / "a;b.db").string(), "select 1"}, "strivex-cli: --local: '", true},
      {{"--local", file_ + " ", "select 1"}, "strivex-cli: --local: '", true},
      {{"--local", (dir_ / "no" / "dir" / "x.db").string(), "select 1"},
       "strivex-cli: open: Eroare: Unspecified error la deschidere conectie\n", false},
      {{"--local", notADatabase, "select 1"}, "strivex-cli: open: Eroare: ", false},
      {{"--connect", "Driver={No Such Driver}; Server=x", "select 1"},
       "strivex-cli: open: Eroare: Unspecified error la deschidere conectie ->Driver={No Such Driver}", false},
      {{"--connect", connect, "--relay", "127.0.0.1", "select 1"},
       "strivex-cli: --relay: reading rows needs --columns", true},
      // The relay's port is the one given; why it cannot be reached is said in English.
      {{"--connect", connect, "--relay", "127.0.0.1:" + closed, "--exec", "select 1"},
       "strivex-cli: open: cannot connect to the relay at 127.0.0.1:" + closed + ": Connection refused\n", true},
      {{"--connect", connect, "--relay", "127.0.0.1:9o81", "--exec", "select 1"},
       "strivex-cli: --relay: '127.0.0.1:9o81': the port is not a number from 1 to 65535\n", true},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(::testing::PrintToString(f.args));
    const ProcessResult r = Cli(Join({"sql"}, f.args));
    // A database that cannot be opened has its own status; the rest are usage errors.
    EXPECT_EQ(r.exitCode, std::string(f.err).starts_with("strivex-cli: open:") ? 3 : 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with(f.err)) << r.err;
    if (f.oneLine) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a"));
}

// Filled in as the module does: the code, the code, machine 5's first investigation, the code.
std::string Lookup(long code) {
  return Format(
      "select cast(lr.id as varchar(10)) + ' - ' + p.LastName+' ' + p.FirstName as patient from "
      "l_requests lr \t\t\t\t\t\tleft join patients p on p.id=lr.patientid\t\t\t\t\t\tleft join "
      "l_request_details lrd on lrd.requestid=lr.id\t\t\t\t\t\tleft join l_investigations inv on "
      "inv.id=lrd.investigationid\t\t\t\t\t\tleft join l_investigations inv2 on "
      "inv.itemid=inv2.itemid\t\t\t\t\t\twhere (lr.id=%ld or lr.externalbarcodeid=%d) and "
      "inv2.id=%ld\t\t\t\t\t\torder by case when lr.externalbarcodeid=%d then 0 else 1 end",
      code, static_cast<int>(code), 1L, static_cast<int>(code));
}

class SqlCliServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = LabConnectionString();
    if (connection_.empty())
      STRIVEX_SKIP_UNLESS_REQUIRED(strivex::testing::LabRequiredByRun(), "no development server (STRIVEX_LAB_CONNSTR)");
  }
  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
  std::string connection_;
};

TEST_F(SqlCliServerTest, WrongPasswordFailsToOpen) {
  const std::string wrong = connection_.substr(0, connection_.find("Pwd=")) + "Pwd=wrong";
  const ProcessResult r = Cli({"sql", "--connect", wrong, "select 1"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "");
  // The connection string is shown, its password never.
  EXPECT_TRUE(r.err.starts_with("strivex-cli: open: Eroare: Unspecified error la deschidere "
                                "conectie ->" + connection_.substr(0, connection_.find("Pwd=")) + "Pwd=***\n"))
      << r.err;
  EXPECT_EQ(r.err.find("wrong"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("strivex-cli: driver: "), std::string::npos) << r.err;
}

// A login whose password holds ';', '{' and '}' gets in with the module's own string, and with
// --password-file and STRIVEX_PASSWORD filling a string without one, directly and through the relay.
TEST_F(SqlCliServerTest, PasswordWithSemicolonAndBracesLogsIn) {
  const std::string role = "strivex_quoted_" + std::to_string(getpid()), password = "a;b}c{d}}e";
  const std::string create = "CREATE ROLE " + role + " LOGIN PASSWORD '" + password + "'";
  ASSERT_EQ(Cli({"sql", "--connect", connection_, "--exec", create}).exitCode, 0);
  const std::shared_ptr<void> dropRole(nullptr, [&](void*) {
    EXPECT_EQ(Cli({"sql", "--connect", connection_, "--exec", "DROP ROLE " + role}).exitCode, 0);
  });
  const auto connect = [&](const std::string& pwd) {
    return SqlServerConnectionString({ConnectionValue(connection_, "Server").value_or(""),
                                      ConnectionValue(connection_, "Database").value_or(""), role, pwd});
  };
  const std::string file = (dir_ / "pw").string();
  WriteFile(file, password + "\r\n");
  const strivex::testing::RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH);
  const struct {
    std::vector<std::string> args;
    const char* environment;
  } cases[] = {
      {{"--connect", connect(password)}, nullptr},
      {{"--connect", connect(""), "--password-file", file}, "wrong"},
      {{"--connect", connect(""), "--password-file", file, "--relay", relay.address()}, nullptr},
      {{"--connect", connect("")}, password.c_str()},
  };
  for (const auto& c : cases) {
    if (c.environment) setenv("STRIVEX_PASSWORD", c.environment, 1);
    const ProcessResult r = Cli(Join(Join({"sql"}, c.args), {"--exec", "select 1"}));
    unsetenv("STRIVEX_PASSWORD");
    EXPECT_EQ(r.exitCode, 0) << ::testing::PrintToString(c.args) << r.err;
  }
}

class SqlCliServerStatementTest : public SqlCliServerTest,
                                  public ::testing::WithParamInterface<Case> {};

TEST_P(SqlCliServerStatementTest, PrintsRowsAndStatus) {
  ExpectRun(Cli(Join({"sql", "--connect", connection_}, GetParam().args)), GetParam());
}

// Column names come back in the server's lower case; texts as the module's Windows-1250 bytes.
INSTANTIATE_TEST_SUITE_P(
    Statements, SqlCliServerStatementTest,
    ::testing::Values(
        Case{"DateAsOleDayCount",  // 2026-12-01 07:45
             {"select RequestID, RequestDate from WORK_LIST where MachineID=5 and RequestID=1021"},
             "requestid\t3\t1021\nrequestdate\t7\t46357.322916666664\n\n" + kOk, 0, ""},
        Case{"LookupByBarCode", {"--slot", "8", Lookup(81022)},
             "patient\t8\t1022 - \\xaatef\\xe3nescu Ana\n\n" + kOk, 0, ""},
        Case{"LookupNotFound", {"--slot", "8", Lookup(1029)}, kOk, 0, ""},
        Case{"ExecOfMissingTable", {"--exec", "select * from no_such_table"},
             "result=0 lastErrorCode=3127\n", 1, "relation \"no_such_table\" does not exist"}),
    [](const auto& info) { return std::string(info.param.name); });

// The same statements through medianex-relay, as an administrator checks a relay from a
// workstation.
class SqlCliRelayTest : public SqlCliServerTest, public ::testing::WithParamInterface<Case> {
 protected:
  strivex::testing::RelayServer relay_{STRIVEX_MEDIANEX_RELAY_PATH};
};

TEST_P(SqlCliRelayTest, PrintsRowsAndStatus) {
  ASSERT_EQ(relay_.failure(), "");
  ExpectRun(Cli(Join({"sql", "--connect", connection_, "--relay", relay_.address()}, GetParam().args)),
            GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, SqlCliRelayTest,
    ::testing::Values(
        Case{"RowsUntilTheLast",
             {"--columns", "requestid,requestdate",
              "select RequestID, RequestDate from WORK_LIST where MachineID=5 and RequestID in "
              "(1021, 1022) order by RequestID"},
             "requestid\t3\t1021\nrequestdate\t7\t46357.322916666664\n\n"
             "requestid\t3\t1022\nrequestdate\t7\t46357.34027777778\n\n" + kOk,
             0, ""},
        Case{"LookupByBarCode", {"--slot", "8", "--columns", "patient", Lookup(81022)},
             "patient\t8\t1022 - \\xaatef\\xe3nescu Ana\n\n" + kOk, 0, ""},
        // Nothing tells an empty selection from a row of empty values.
        Case{"LookupNotFound", {"--slot", "8", "--columns", "patient", Lookup(1029)},
             "patient\t0\t\n\n" + kOk, 0, ""},
        Case{"ExecOfMissingTable", {"--exec", "select * from no_such_table"},
             "result=0 lastErrorCode=0\n", 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace strivex::cli
