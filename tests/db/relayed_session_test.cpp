// A relayed session through the real medianex-relay, on both engines behind it: every operation
// the module uses, read back value for value against a direct session on the same database.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "db/db_session_fixture.h"
#include "support/relay_server.h"

namespace strivex::testing {
namespace {

struct ReadValue {
  uint16_t type;
  std::string text;
  bool operator==(const ReadValue&) const = default;
};

void PrintTo(const ReadValue& v, std::ostream* os) { *os << v.type << ":'" << v.text << "'"; }

// Every row of an open selection, column by column, read the way the work-list dialog reads.
std::vector<std::vector<ReadValue>> ReadAll(BazaDeDate& db, int slot) {
  static const char* const kColumns[] = {"id", "name", "val", "d"};
  std::vector<std::vector<ReadValue>> rows;
  do {
    std::vector<ReadValue>& row = rows.emplace_back();
    for (const char* column : kColumns) {
      const DbValue value = db.ValoareColoana(column, slot);
      row.push_back({value.type, value.ToText()});
    }
  } while (db.NextElementTabel(slot) && rows.size() < 100);
  return rows;
}

class RelayedSessionTest : public DbSessionTest {
 protected:
  void SetUp() override {
    DbSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    relay_ = std::make_unique<RelayServer>(STRIVEX_MEDIANEX_RELAY_PATH, 0,
                                           std::vector<std::string>{"--local-db-dir", dir_.path().string()});
    ASSERT_EQ(relay_->failure(), "");
    relayed_.serverAddress = relay_->address();
    ASSERT_TRUE(relayed_.DeschidConectie(connection_, 0)) << relay_->process().err();
  }
  void TearDown() override {
    relayed_.InchidConectie();
    relay_.reset();
    DbSessionTest::TearDown();
  }

  // The same selection through both sessions.
  void ExpectSameRows(const std::string& clause, size_t expectedRows) {
    ASSERT_TRUE(db_->DeschidTabel(Scratch(), clause, 3)) << ErrorLog();
    ASSERT_TRUE(relayed_.DeschidTabel(Scratch(), clause, 3));
    const auto direct = ReadAll(*db_, 3);
    EXPECT_EQ(direct.size(), expectedRows);
    EXPECT_EQ(ReadAll(relayed_, 3), direct);
    relayed_.InchidTabel(3);
    db_->InchidTabel(3);
  }

  std::unique_ptr<RelayServer> relay_;
  BazaDeDate relayed_;
};

TEST_P(RelayedSessionTest, EveryOperationReadsWhatTheDirectSessionReads) {
  ASSERT_TRUE(db_->SQLCommand("INSERT INTO " + Scratch() +
                                  " VALUES (1, 'a,b;c', NULL, '2026-12-01 07:45:00'), "
                                  "(2, 'Popescu', 'x', NULL)",
                              0));
  // Statements and clauses full of the argument texts' separators travel whole.
  ASSERT_TRUE(relayed_.SQLCommand("INSERT INTO " + Scratch() +
                                      " VALUES (3, ';1;2,', 'it''s', '2024-05-17 08:30:15')",
                                  0));
  ExpectSameRows("WHERE name <> ',;' order by id", 3);
  ExpectSameRows("WHERE id >= 2 and val <> ';,' order by id", 2);

  // Without a clause: the whole table, in whatever order the server gives it.
  ASSERT_TRUE(relayed_.DeschidTabel(Scratch(), 4));
  EXPECT_EQ(ReadAll(relayed_, 4).size(), 3u);
  relayed_.InchidTabel(4);

  ASSERT_TRUE(relayed_.GetRecords("SELECT id, name, val, d FROM " + Scratch() + " WHERE id = 3", 5));
  ASSERT_TRUE(db_->GetRecords("SELECT id, name, val, d FROM " + Scratch() + " WHERE id = 3", 5));
  const auto row = ReadAll(relayed_, 5);
  EXPECT_EQ(row, ReadAll(*db_, 5));
  EXPECT_EQ(row.at(0).at(2), (ReadValue{VT_BSTR, "it's"}));

  EXPECT_FALSE(relayed_.SQLCommand("SELECT * FROM no_such_table_here", 0));
  EXPECT_EQ(relayed_.lastFailure(), DbFailure::kRejected);
  EXPECT_FALSE(relayed_.GetRecords("not a statement", 6));
  // A failed statement leaves the session serving.
  EXPECT_TRUE(relayed_.SQLCommand("DELETE FROM " + Scratch() + " WHERE id = 3", 0));
  ExpectSameRows("WHERE id > 0 order by id", 2);
}

TEST_P(RelayedSessionTest, ClosedSessionFailsEveryLaterOperationAtOnce) {
  relayed_.InchidConectie();
  EXPECT_EQ(relayed_.connected.load(), 0);
  EXPECT_FALSE(relayed_.SQLCommand("DELETE FROM " + Scratch(), 0));
  EXPECT_FALSE(relayed_.GetRecords("SELECT 1 AS id", 1));
  EXPECT_TRUE(relayed_.ValoareColoana("id", 1).IsEmpty());
  // And it opens again on the same object.
  ASSERT_TRUE(relayed_.DeschidConectie(connection_, 0));
  EXPECT_TRUE(relayed_.SQLCommand("INSERT INTO " + Scratch() + " VALUES (9, 'n', 'v', NULL)", 0));
  ExpectSameRows("WHERE id = 9", 1);
}

TEST_P(RelayedSessionTest, KilledRelayIsALostConnection) {
  ASSERT_TRUE(relayed_.SQLCommand("INSERT INTO " + Scratch() + " VALUES (1, 'n', 'v', NULL)", 0));
  EXPECT_EQ(relayed_.lastFailure(), DbFailure::kNone);
  relay_->process().Signal(SIGKILL);
  ASSERT_TRUE(relay_->process().WaitExit(std::chrono::seconds(10)));
  EXPECT_FALSE(relayed_.SQLCommand("DELETE FROM " + Scratch(), 0));
  EXPECT_EQ(relayed_.lastFailure(), DbFailure::kConnectionLost) << relayed_.lastErrorText();
  EXPECT_EQ(relayed_.connected.load(), 0);
}

// The relay cannot say why in a status byte: it ends the client's connection instead, and the
// client opens again.
TEST_P(RelayedSessionTest, ServerSessionEndedBehindTheRelayIsALostConnection) {
  if (GetParam() != Engine::kPostgres) GTEST_SKIP() << "the local file has no server session";
  ASSERT_TRUE(relayed_.GetRecords("SELECT pg_backend_pid() AS pid", 1));
  const int32_t pid = relayed_.ValoareColoana("pid", 1).intVal;
  ASSERT_TRUE(db_->GetRecords("SELECT pg_terminate_backend(" + std::to_string(pid) + ") AS done", 0));
  EXPECT_FALSE(relayed_.SQLCommand("DELETE FROM " + Scratch(), 0));
  EXPECT_EQ(relayed_.lastFailure(), DbFailure::kConnectionLost) << relayed_.lastErrorText();
  EXPECT_EQ(relayed_.connected.load(), 0);
  BackgroundProcess& relay = relay_->process();
  const auto logged = [&](const std::string&) {
    return relay.err().find("database connection lost") != std::string::npos;
  };
  EXPECT_TRUE(relay.WaitForOutput(logged, std::chrono::seconds(5))) << relay.err();
  ASSERT_TRUE(relayed_.DeschidConectie(connection_, 0));
  EXPECT_TRUE(relayed_.SQLCommand("DELETE FROM " + Scratch(), 0));
}

INSTANTIATE_TEST_SUITE_P(Engines, RelayedSessionTest,
                         ::testing::Values(Engine::kSqlite, Engine::kPostgres), EngineName);

}  // namespace
}  // namespace strivex::testing
