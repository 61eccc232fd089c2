// The ODBC engine whose driver runs in a helper process: rows in batches, and every way a call
// ends as a lost connection (a deadline on a frozen server, a stop, a crashing driver) ending the
// helper while the test process goes on.

#include "db/odbc_process_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <thread>

#include "db/result_budget.h"
#include "db_session_fixture.h"
#include "support/helper_children.h"
#include "support/lab_cluster.h"
#include "support/requirements.h"
#include "support/temp_dir.h"
#include "util/sanitizer_build.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

TEST(OdbcProcessEngineTest, RowsComeInBatchesWithTheirTypes) {
  const std::string lab = testing::LabConnectionString();
  if (lab.empty()) STRIVEX_SKIP_UNLESS_REQUIRED(testing::LabDatabaseRequired(), "no development database");
  const auto engine = MakeOdbcProcessEngine();
  DbError error;
  ASSERT_TRUE(engine->Open(lab, {}, error)) << error.detail;
  const struct {
    const char* sql;
    int rows;
    DbValue last;
  } cases[] = {
      {"SELECT n FROM generate_series(1, 2500) n", 2500, DbValue::Int(2500)},
      {"SELECT repeat('x', 100000) || n FROM generate_series(1, 3) n", 3, DbValue::Text(std::string(100000, 'x') + "3")},
      {"SELECT 1 WHERE false", 0, {}},
      {"DO $$ BEGIN END $$", 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    const auto set = engine->Execute(c.sql, error);
    ASSERT_TRUE(set) << error.detail;
    int rows = 0;
    DbValue last;
    for (; !set->AtEnd(); set->Next(error)) {
      ++rows;
      last = set->Value(0);
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(last, c.last);
  }
}

// Every way a call is given up ends its helper at once and leaves the test process running.
TEST(PrivateLabOdbcProcessEngineTest, DeadlinesStopsAndCrashesEndTheHelper) {
  const testing::TempDir dir;
  testing::LabCluster lab;
  const testing::ScopedEnvironment env(lab.Environment());
  // The crashing driver beside the lab's "SQL Server" in an odbcinst.ini of the test's own.
  std::ofstream(dir.path() / "odbcinst.ini") << testing::ReadFile(lab.Environment()[0].second + "/odbcinst.ini")
                                             << "\n[Crashing]\nDriver=" STRIVEX_CRASHING_ODBC_DRIVER "\n";
  const testing::ScopedEnvironment crashing({{"ODBCSYSINI", dir.path().string()}});
  const struct {
    const char* name;
    const char* connection;  // nullptr: the lab's
    bool login;              // else a statement on an open connection
    DbTimeouts timeouts;
    std::chrono::milliseconds stopAfter;  // 0: never
    std::chrono::milliseconds within;     // of the stop, or of the call
    const char* detail;
  } cases[] = {
      {"statement past its deadline", nullptr, false, {5s, 2s}, 0ms, 3500ms, "no answer within 2000 ms; the driver process was ended"},
      {"statement stopped", nullptr, false, {5s, 60s}, 300ms, 1s, "stopped; the driver process was ended"},
      {"login stopped", nullptr, true, {5s, 60s}, 300ms, 1s, "stopped; the driver process was ended"},
      {"driver crash", "Driver={Crashing};", false, {5s, 60s}, 0ms, 2s, "killed by signal SIGSEGV"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string connection = c.connection ? c.connection : lab.ConnectionString();
    const auto engine = MakeOdbcProcessEngine();
    DbError error;
    ASSERT_TRUE(c.login || engine->Open(connection, c.timeouts, error)) << error.detail;
    if (c.connection == nullptr) lab.Freeze();
    const auto start = std::chrono::steady_clock::now();
    auto call = std::async(std::launch::async, [&] {
      return c.login ? engine->Open(connection, c.timeouts, error) : engine->Execute("SELECT 1", error) != nullptr;
    });
    if (c.stopAfter > 0ms) {
      std::this_thread::sleep_for(c.stopAfter);
      engine->Abort();
    }
    const bool ended = call.wait_for(c.stopAfter + c.within) == std::future_status::ready;
    const auto took = std::chrono::steady_clock::now() - start;
    if (c.connection == nullptr) lab.Thaw();
    ASSERT_TRUE(ended) << "still waiting";
    EXPECT_FALSE(call.get());
    EXPECT_EQ(error.failure, DbFailure::kConnectionLost);
    EXPECT_NE(error.detail.find(c.detail), std::string::npos) << error.detail;
    EXPECT_LT(took, c.stopAfter + c.within);
    EXPECT_EQ(testing::HelperChildren(), 0);
  }
}

// A driver killed by an allocation its process's data limit refused costs that statement only: it
// is refused in the words of the session's bound, and a new driver process takes the next one.
TEST(OdbcProcessEngineTest, ADriverKilledByItsDataLimitRefusesTheStatementAndIsReplaced) {
#ifdef STRIVEX_SANITIZER_ALLOCATOR
  GTEST_SKIP() << "a sanitizer build bounds no helper's data";
#endif
  const testing::TempDir dir;
  std::ofstream(dir.path() / "odbcinst.ini") << "[Crashing]\nDriver=" STRIVEX_CRASHING_ODBC_DRIVER "\n";
  const testing::ScopedEnvironment crashing({{"ODBCSYSINI", dir.path().string()}});
  const auto engine = MakeOdbcProcessEngine();
  engine->LimitResults(size_t{1} << 20);
  DbError error;
  ASSERT_TRUE(engine->Open("Driver={Crashing};", {5s, 60s}, error)) << error.detail;
  EXPECT_FALSE(engine->Execute("ALLOCATE", error));
  EXPECT_EQ(error, ResultBudget(size_t{1} << 20).TooLarge());
  EXPECT_FALSE(engine->Execute("SELECT 1", error));  // this driver crashes on every other statement
  EXPECT_NE(error.detail.find("killed by signal SIGSEGV"), std::string::npos) << error.detail;
}

}  // namespace
}  // namespace strivex
