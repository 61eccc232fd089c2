// Commands run on a real session over a temporary SQLite file.

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "command_runner.h"
#include "db/connection_string.h"
#include "db/relay_wire.h"
#include "support/temp_dir.h"

namespace strivex::relay {
namespace {

using strivex::testing::ScopedCurrentDir;
using strivex::testing::TempDir;

const std::string kOk = RelayStatusText(true);
const std::string kFail = RelayStatusText(false);

class RelayCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Replies("DeschidConectie", JetConnectionString((dir_ / "local.db").string(), "")),
              Texts{kOk});
    ASSERT_EQ(Replies("SQLCommand", "2;0;CREATE TABLE t (id INTEGER, name TEXT)"), Texts{kOk});
    ASSERT_EQ(Replies("SQLCommand", "2;0;INSERT INTO t VALUES (1, 'a,b;c'), (2, 'x')"), Texts{kOk});
  }

  using Texts = std::vector<std::string>;
  Texts Replies(const std::string& command, const std::string& arguments) {
    return runner_.Run(command, arguments).replies;
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};  // the session's failure log goes here
  BazaDeDate session_;
  CommandRunner runner_{session_, {{"SQL Server"}, dir_.path().string(), {}, size_t{1} << 20}};
};

TEST_F(RelayCommands, ReadsRowsWithSeparatorsInsideTheStatement) {
  EXPECT_EQ(Replies("GetRecords", "2;1;SELECT id, name FROM t WHERE name IN ('a,b;c', 'x') ORDER BY id"),
            Texts{kOk});
  EXPECT_EQ(Replies("ValoareColoana", "2;name,1"), (Texts{"8;a,b;c", kOk}));
  EXPECT_EQ(Replies("ValoareColoana", "2;id,1"), (Texts{"3;1", kOk}));
  EXPECT_EQ(Replies("NextElementTabel", "1;1"), Texts{kOk});
  EXPECT_EQ(Replies("ValoareColoana", "2;name,1"), (Texts{"8;x", kOk}));
  EXPECT_EQ(Replies("NextElementTabel", "1;1"), Texts{kFail});
  // Past the last row there is no value: type 0 and nothing after the ';'.
  EXPECT_EQ(Replies("ValoareColoana", "2;name,1"), (Texts{"0;", kFail}));
  EXPECT_EQ(Replies("InchidTabel", "1;1;"), Texts{kOk});
}

TEST_F(RelayCommands, OpensTablesWithAndWithoutClause) {
  EXPECT_EQ(Replies("DeschidTabel", "3;t,where id in (2,3) and name<>';',9"), Texts{kOk});
  EXPECT_EQ(Replies("ValoareColoana", "2;name,9"), (Texts{"8;x", kOk}));
  EXPECT_EQ(Replies("DeschidTabel", "2;t,8"), Texts{kOk});
  EXPECT_EQ(Replies("ValoareColoana", "2;id,8"), (Texts{"3;1", kOk}));
  EXPECT_EQ(Replies("DeschidTabel", "2;missing_table,8"), Texts{kFail});
}

TEST_F(RelayCommands, NullReadsAsNoValue) {
  // The session gives NULL as an empty value, which clients take as "no value" too.
  ASSERT_EQ(Replies("GetRecords", "2;2;SELECT NULL AS n, -5 AS m"), Texts{kOk});
  EXPECT_EQ(Replies("ValoareColoana", "2;n,2"), (Texts{"0;", kFail}));
  EXPECT_EQ(Replies("ValoareColoana", "2;m,2"), (Texts{"3;-5", kOk}));
}

TEST_F(RelayCommands, LongValuesAreCutToOneFrame) {
  ASSERT_EQ(Replies("GetRecords", "2;2;SELECT printf('%.3000c', 'v') AS long_text"), Texts{kOk});
  const Texts replies = Replies("ValoareColoana", "2;long_text,2");
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0], "8;" + std::string(1997, 'v'));
}

struct BadCase {
  const char* command;
  const char* arguments;
  std::vector<std::string> replies;
};

TEST_F(RelayCommands, UnusableRequestsAnswerFailureInTheAwaitedShape) {
  const BadCase cases[] = {
      {"Bogus", "2;0;select 1", {kFail}},
      {"", "", {kFail}},
      {"SQLCommand", "2;select 1", {kFail}},
      {"SQLCommand", "2;11;select 1", {kFail}},
      {"SQLCommand", "2;0;not sql at all", {kFail}},
      // A conversion SQLCommand lets through wrote nothing: the client must not hear success.
      {"SQLCommand", "2;0;UPDATE t SET rowid = 'abc'", {kFail}},
      {"GetRecords", "1;0;select 1", {kFail}},
      {"DeschidTabel", "3;t,where id=1", {kFail}},
      {"DeschidTabel", "t,1", {kFail}},
      {"ValoareColoana", "2;name", {"0;", kFail}},
      {"ValoareColoana", "2;name,5", {"0;", kFail}},  // slot never opened
      {"NextElementTabel", "1;x", {kFail}},
      {"InchidTabel", "2;1;", {kFail}},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.arguments);
    EXPECT_EQ(Replies(c.command, c.arguments), c.replies);
  }
}

// The client cannot be told why in a status byte: it loses its connection as the session did.
TEST_F(RelayCommands, LostDatabaseConnectionEndsTheClientsUnanswered) {
  session_.InchidConectie();
  const struct {
    const char* command;
    const char* arguments;
  } cases[] = {
      {"SQLCommand", "2;0;INSERT INTO t VALUES (3, 'y')"},
      {"GetRecords", "2;1;SELECT id FROM t"},
      {"DeschidTabel", "2;t,2"},
      {"DeschidTabel", "3;t,where id = 1,3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.arguments);
    const CommandOutcome outcome = runner_.Run(c.command, c.arguments);
    EXPECT_EQ(outcome.replies, Texts{});
    EXPECT_TRUE(outcome.endConnection);
    EXPECT_TRUE(outcome.reason.starts_with("database connection lost: ")) << outcome.reason;
  }
  // What needs no connection is answered as before.
  EXPECT_EQ(Replies("NextElementTabel", "1;1"), Texts{kFail});
  EXPECT_EQ(Replies("ValoareColoana", "2;id,1"), (Texts{"0;", kFail}));
}

TEST_F(RelayCommands, LocalStatementsReachNoOtherFile) {
  const TempDir outside;
  const std::string x = (outside / "x.db").string();
  const std::string statements[] = {
      "ATTACH '" + x + "' AS x",
      "ATTACH 'file:" + x + "?mode=rwc' AS x",
      "VACUUM INTO '" + (outside / "y.db").string() + "'",
      "SELECT load_extension('" + (outside / "evil.so").string() + "')",
      "SELECT fts3_tokenizer('simple')",  // its address, the first step to setting one
      "PRAGMA temp_store_directory = '" + outside.path().string() + "'",
  };
  for (const std::string& statement : statements) {
    SCOPED_TRACE(statement);
    EXPECT_EQ(Replies("SQLCommand", "2;0;" + statement), Texts{kFail});
  }
  EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
  EXPECT_EQ(Replies("GetRecords", "2;1;SELECT count(*) AS n FROM t"), Texts{kOk});
}

// The fixture's session may hold 1 MiB of results.
TEST_F(RelayCommands, ResultsPastWhatTheSessionMayHoldAreRefusedAndTheSessionGoesOn) {
  const auto Rows = [](const std::string& count) {
    return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + count +
           ") SELECT printf('%.1000c', 'v') AS v FROM c";
  };
  const struct {
    std::string statement;
    const char* slot;
  } refused[] = {
      {Rows("5000"), "1"},
      {"SELECT hex(randomblob(600000)) AS v", "1"},
      {Rows("600"), "3"},  // with the 600 rows of slot 2 it would pass the bound
  };
  ASSERT_EQ(Replies("GetRecords", "2;2;" + Rows("600")), Texts{kOk});
  for (const auto& c : refused) {
    SCOPED_TRACE(c.statement);
    const CommandOutcome outcome = runner_.Run("GetRecords", std::string("2;") + c.slot + ";" + c.statement);
    EXPECT_EQ(outcome.replies, Texts{kFail});
    EXPECT_FALSE(outcome.endConnection);
  }
  const CommandOutcome told = runner_.Run("GetRecords", "2;3;" + Rows("600"));
  EXPECT_TRUE(told.notice.starts_with("statement refused: result too large")) << told.notice;
  EXPECT_NE(told.notice.find("1 MiB"), std::string::npos) << told.notice;
  EXPECT_EQ(Replies("InchidTabel", "1;2;"), Texts{kOk});
  EXPECT_EQ(Replies("GetRecords", "2;3;" + Rows("600")), Texts{kOk});
  EXPECT_EQ(Replies("ValoareColoana", "2;v,3"), (Texts{"8;" + std::string(1000, 'v'), kOk}));
}

TEST_F(RelayCommands, ClosingAnswersThenEndsTheConnection) {
  const CommandOutcome outcome = runner_.Run("InchidConectie", "0;");
  EXPECT_EQ(outcome.replies, Texts{kOk});
  EXPECT_TRUE(outcome.endConnection);
  EXPECT_EQ(session_.connected.load(), 0);
  EXPECT_FALSE(runner_.Run("SQLCommand", "0;").endConnection);
}

}  // namespace
}  // namespace strivex::relay
