// Why a statement or an open failed, as a caller that retries needs to know it, and the waits
// that bound a login and a statement, on the real engines.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "db/connection_string.h"
#include "db/db_session_fixture.h"
#include "db/silent_server.h"
#include "util/format.h"

namespace strivex::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sets an environment variable for the scope, as the development server's port travels in
// PGPORT rather than in the connection string.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct Refusal {
  const char* name;
  std::optional<Engine> only;  // the other engine has no such statement to refuse
  std::function<bool(BazaDeDate&, const std::string& scratch)> run;
  const char* sqlState;  // the text starts with it; "" where the engine has none
};

class SessionFailureTest : public DbSessionTest {};

TEST_P(SessionFailureTest, RefusedStatementsAreRejectionsAndKeepTheConnection) {
  const Refusal refusals[] = {
      {"syntax", std::nullopt,
       [](BazaDeDate& db, const std::string&) { return db.SQLCommand("SELEC nonsense", 0); },
       GetParam() == Engine::kPostgres ? "42601" : ""},
      {"missing table", std::nullopt,
       [](BazaDeDate& db, const std::string& s) { return db.DeschidTabel("no_such_" + s, "where id=1", 2); },
       GetParam() == Engine::kPostgres ? "42P01" : ""},
      {"missing column", std::nullopt,
       [](BazaDeDate& db, const std::string& s) { return db.GetRecords("SELECT nosuch FROM " + s, 3); },
       GetParam() == Engine::kPostgres ? "42703" : ""},
      {"procedure argument", Engine::kPostgres,
       [](BazaDeDate& db, const std::string&) { return db.SQLCommand("exec L_RESULT_INSERT 'x'", 0); },
       "42883"},
      {"constraint", Engine::kPostgres,
       [](BazaDeDate& db, const std::string&) {
         return db.SQLCommand("INSERT INTO patients (id) VALUES (NULL)", 0);
       },
       "23502"},
      {"slot", std::nullopt,
       [](BazaDeDate& db, const std::string&) { return db.SQLCommand("SELECT 1", 10); }, ""},
  };
  for (const Refusal& r : refusals) {
    if (r.only && *r.only != GetParam()) continue;
    SCOPED_TRACE(r.name);
    EXPECT_FALSE(r.run(*db_, Scratch()));
    EXPECT_EQ(db_->lastFailure(), DbFailure::kRejected);
    EXPECT_TRUE(db_->lastErrorText().starts_with(r.sqlState)) << db_->lastErrorText();
    EXPECT_FALSE(db_->lastErrorText().empty());
    EXPECT_EQ(db_->connected.load(), 1);
    // The next success clears it.
    ASSERT_TRUE(db_->SQLCommand("UPDATE " + Scratch() + " SET id = 1", 0));
    EXPECT_EQ(db_->lastFailure(), DbFailure::kNone);
    EXPECT_EQ(db_->lastErrorText(), "");
  }
}

TEST_P(SessionFailureTest, ThreadsSharingASessionEachReadTheirOwnOutcome) {
  std::promise<void> failed;
  std::promise<void> succeeded;
  std::thread other([&] {
    EXPECT_FALSE(db_->SQLCommand("SELEC nonsense", 0));
    failed.set_value();
    succeeded.get_future().wait();
    EXPECT_EQ(db_->lastFailure(), DbFailure::kRejected);
  });
  failed.get_future().wait();
  EXPECT_TRUE(db_->SQLCommand("UPDATE " + Scratch() + " SET id = 1", 0));
  succeeded.set_value();
  other.join();
  EXPECT_EQ(db_->lastFailure(), DbFailure::kNone);
}

TEST_P(SessionFailureTest, ClosedSessionIsNotConnected) {
  db_->InchidConectie();
  EXPECT_FALSE(db_->SQLCommand("UPDATE " + Scratch() + " SET id = 1", 0));
  EXPECT_EQ(db_->lastFailure(), DbFailure::kConnectionLost);
  BazaDeDate never;
  EXPECT_FALSE(never.DeschidTabel("MACHINES", "where ID=1", 0));
  EXPECT_EQ(never.lastFailure(), DbFailure::kConnectionLost);
}

INSTANTIATE_TEST_SUITE_P(Engines, SessionFailureTest, ::testing::Values(Engine::kSqlite, Engine::kPostgres),
                         EngineName);

class LabFailureTest : public DbSessionTest {};

TEST_P(LabFailureTest, EndedServerSessionIsALostConnectionUntilReopened) {
  ASSERT_TRUE(db_->GetRecords("SELECT pg_backend_pid() AS pid", 1));
  const int32_t pid = db_->ValoareColoana("pid", 1).intVal;
  const std::unique_ptr<BazaDeDate> admin = OpenSession();
  ASSERT_TRUE(admin);
  ASSERT_TRUE(admin->GetRecords(Format("SELECT pg_terminate_backend(%d) AS done", pid), 0));
  for (const auto until = Clock::now() + 5s; Clock::now() < until;) {
    admin->GetRecords(Format("SELECT count(*) AS n FROM pg_stat_activity WHERE pid = %d", pid), 0);
    if (admin->ValoareColoana("n", 0).intVal == 0) break;
    std::this_thread::sleep_for(20ms);
  }

  EXPECT_FALSE(db_->SQLCommand("UPDATE " + Scratch() + " SET id = 1", 0));
  EXPECT_EQ(db_->lastFailure(), DbFailure::kConnectionLost) << db_->lastErrorText();
  EXPECT_EQ(db_->connected.load(), 0);
  EXPECT_FALSE(db_->lastErrorText().empty());
  ASSERT_TRUE(db_->DeschidConectie(connection_, 1));
  EXPECT_EQ(db_->lastFailure(), DbFailure::kNone);
  EXPECT_TRUE(db_->SQLCommand("UPDATE " + Scratch() + " SET id = 1", 0));
}

// A session set to a short statement time-out, and a fresh one with the default (30 s).
TEST_P(LabFailureTest, StatementLongerThanTheQueryTimeOutIsALostConnection) {
  const struct {
    std::optional<DbTimeouts> set;
    std::chrono::seconds sleep, atLeast, below;
  } cases[] = {{DbTimeouts{5s, 1s}, 20s, 0s, 10s}, {std::nullopt, 45s, 29s, 40s}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sleep.count());
    BazaDeDate session;
    if (c.set) session.SetTimeouts(*c.set);
    ASSERT_TRUE(session.DeschidConectie(connection_, 1)) << ErrorLog();
    const auto start = Clock::now();
    EXPECT_FALSE(session.SQLCommand(Format("SELECT pg_sleep(%d)", static_cast<int>(c.sleep.count())), 0));
    EXPECT_GE(Clock::now() - start, c.atLeast);
    EXPECT_LT(Clock::now() - start, c.below);
    EXPECT_EQ(session.lastFailure(), DbFailure::kConnectionLost) << session.lastErrorText();
    EXPECT_EQ(session.connected.load(), 0);
  }
}

// The server address is used as the system writes it; the port comes from PGPORT.
TEST_P(LabFailureTest, LoginToAServerThatNeverAnswersEndsAtTheDefaultLoginTimeOut) {
  const SilentServer silent(SilentServer::kMute);
  ASSERT_NE(silent.port(), 0);
  const ScopedEnv port("PGPORT", std::to_string(silent.port()));
  BazaDeDate session;
  const std::string connection = SqlServerConnectionString({"127.0.0.1", "strivex_lab", "u", "p"});
  const auto start = Clock::now();
  EXPECT_FALSE(session.DeschidConectie(connection, 1));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 4s);
  EXPECT_LT(took, 10s);
  EXPECT_EQ(session.lastFailure(), DbFailure::kConnectionLost) << session.lastErrorText();
  EXPECT_TRUE(session.lastErrorText().starts_with("08")) << session.lastErrorText();
  EXPECT_EQ(session.connected.load(), 0);
  EXPECT_NE(ErrorLog().find("la deschidere conectie ->" + MaskPasswords(connection)), std::string::npos) << ErrorLog();
}

INSTANTIATE_TEST_SUITE_P(Engines, LabFailureTest, ::testing::Values(Engine::kPostgres), EngineName);

}  // namespace
}  // namespace strivex::testing
