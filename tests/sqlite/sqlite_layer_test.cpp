// The SQLite layer on a real file: what it must not get wrong under the outbox and the local engine.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "sqlite/statement.h"
#include "sqlite/transaction.h"
#include "support/temp_dir.h"

namespace strivex::sqlite {
namespace {

class SqliteLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFile(path_, "");
    db_ = Open();
    ASSERT_TRUE(db_.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT NOT NULL)", error_)) << error_.message;
  }
  Connection Open() {
    Connection db = Connection::Open(path_, error_);
    EXPECT_TRUE(db.ok()) << error_.message;
    return db;
  }
  int64_t Rows() {
    Statement count(db_, "SELECT count(*) FROM t");
    return count.Step() ? count.Int(0) : -1;
  }

  testing::TempDir dir_;
  std::string path_ = (dir_ / "layer.db").string();
  Error error_;
  Connection db_;
};

TEST_F(SqliteLayerTest, OnlyACommittedTransactionKeepsItsWrites) {
  const struct {
    const char* name;
    std::function<void(Transaction&)> end;  // what ends the scope
    int64_t rows;
  } cases[] = {
      {"committed", [](Transaction& t) { EXPECT_TRUE(t.Commit()); }, 1},
      {"scope left", [](Transaction&) {}, 0},
      {"exception", [](Transaction&) { throw std::runtime_error("x"); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(db_.Exec("DELETE FROM t", error_));
    try {
      Transaction transaction(db_, Transaction::Lock::kImmediate);
      ASSERT_TRUE(transaction.ok()) << transaction.error().message;
      ASSERT_TRUE(Statement(db_, "INSERT INTO t(v) VALUES ('a')").Run());
      c.end(transaction);
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_TRUE(Transaction(db_, Transaction::Lock::kImmediate).ok()) << "a transaction was left open";
  }
}

TEST_F(SqliteLayerTest, AFailureCarriesSQLitesCodeAndMessage) {
  ASSERT_TRUE(db_.Exec("INSERT INTO t(id, v) VALUES (1, 'a')", error_));
  const struct {
    const char* sql;
    int code;
    const char* message;
  } cases[] = {
      {"SELECT * FROM missing", SQLITE_ERROR, "no such table: missing"},  // preparing
      {"INSERT INTO t(id, v) VALUES (1, 'b')", SQLITE_CONSTRAINT, "UNIQUE constraint failed: t.id"},  // stepping
      {"INSERT INTO t(v) VALUES (NULL)", SQLITE_CONSTRAINT, "NOT NULL constraint failed: t.v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    Statement stmt(db_, c.sql);
    EXPECT_FALSE(stmt.Run());
    EXPECT_TRUE(stmt.failed());
    EXPECT_EQ(stmt.error().primary(), c.code);
    EXPECT_EQ(stmt.error().message, c.message);
  }
  // Another connection's write lock, with no wait for it.
  Connection other = Open();
  Transaction holder(other, Transaction::Lock::kImmediate);
  db_.SetBusyTimeout(std::chrono::milliseconds(0));
  Transaction refused(db_, Transaction::Lock::kImmediate);
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().primary(), SQLITE_BUSY);
  EXPECT_EQ(refused.error().message, "database is locked");
}

TEST_F(SqliteLayerTest, AResetStatementRunsAgainWithNewValues) {
  Statement insert(db_, "INSERT INTO t(id, v) VALUES (?, ?)");
  // The second fails on the first's id; after a reset the statement is whole again.
  const struct {
    int64_t id;
    bool runs;
  } cases[] = {{1, true}, {1, false}, {2, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(insert.Bind(1, c.id).BindText(2, "v").Run(), c.runs) << c.id;
    EXPECT_EQ(insert.failed(), !c.runs);
    insert.Reset();
  }
  Statement select(db_, "SELECT id FROM t WHERE id >= ? ORDER BY id");
  for (const int64_t from : {2, 1}) {
    ASSERT_TRUE(select.Bind(1, from).Step());
    EXPECT_EQ(select.Int(0), from);
    select.Reset();
  }
  EXPECT_EQ(Rows(), 2);
}

}  // namespace
}  // namespace strivex::sqlite
