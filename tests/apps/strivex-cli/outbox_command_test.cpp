// Runs the built strivex-cli outbox on an outbox the test keeps open, as the running module does.

#include "outbox_command.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "db/db_session_fixture.h"
#include "outbox/outbox_store.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace strivex::cli {
namespace {

using strivex::testing::ProcessResult;
using strivex::testing::RunProcess;

// `list` lines by row id: every state, and bytes that need escapes; all of machine 5, none assigned.
const std::string kRow[] = {
    "",
    "1\tstored\t7006\tLEU\tLEU\tneg\t2026-12-07 09:05:03\t0\t2026-12-07 10:00:00\t5\t\n",
    "2\trejected\t7006\tGLU\tGLU\t10 \\xb5mol/l\t2026-12-07 09:05:03\t4\tunknown code 'GLU'\\r\\n\t5\t\n",
    "3\tpending\t7007\tPRO\tPRO\ta\\tb\t2026-12-07 09:05:03\t1\tdeadlock \\xe8\t5\t\n",
    "4\tpending\t7007\tUBG\tUBG\t\t2026-12-07 09:05:03\t0\t\t5\t\n",
    "5\trejected\t7008\tSG\tSG\t1.020\t2026-12-07 09:05:03\t4\tbad value\t5\t\n",
};

SampleList Sample(int32_t requestId, const std::vector<std::pair<const char*, std::string>>& results) {
  auto sample = std::make_unique<SampleRecord>(requestId);
  for (const auto& [code, value] : results) {
    auto group = std::make_unique<GroupRecord>(code);
    ResultRecord& result = group->results.emplace_back();
    result.parameterCode = code;
    result.value = value;
    sample->groups.append(std::move(group));
  }
  SampleList list;
  list.append(std::move(sample));
  return list;
}

class OutboxCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) previousTz_ = tz;
    setenv("TZ", "UTC", 1);  // the stored time is printed in the child's local time
    std::string error;
    store_ = OutboxStore::Open(file_, OutboxStore::OpenMode::kCreate, error);
    ASSERT_TRUE(store_) << error;
    ASSERT_TRUE(store_->SetOwner(5));
    const LocalTime received{2026, 12, 1, 7, 9, 5, 3, 0};
    ASSERT_TRUE(store_->AddMessage(Sample(7006, {{"LEU", "neg"}, {"GLU", "10 \xB5mol/l"}}), received, error));
    ASSERT_TRUE(store_->AddMessage(Sample(7007, {{"PRO", "a\tb"}, {"UBG", ""}}), received, error));
    ASSERT_TRUE(store_->AddMessage(Sample(7008, {{"SG", "1.020"}}), received, error));
    ASSERT_TRUE(store_->MarkStored(1, 1796637600));  // 2026-12-07 10:00:00 UTC
    ASSERT_TRUE(store_->MarkRejected(2, 4, "unknown code 'GLU'\r\n"));
    ASSERT_TRUE(store_->MarkRefused(3, 1, 0, "deadlock \xE8"));
    ASSERT_TRUE(store_->MarkRejected(5, 4, "bad value"));
  }
  void TearDown() override { previousTz_ ? setenv("TZ", previousTz_->c_str(), 1) : unsetenv("TZ"); }

  ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"outbox", "--file", file_});
    return RunProcess(STRIVEX_CLI_PATH, args);
  }

  struct Step {
    std::vector<std::string> args;  // after "--file FILE"
    std::string out;
    int exitCode;
  };
  // One after another on the same outbox: each step sees what the ones before did.
  void RunSteps(std::span<const Step> steps) {
    for (const Step& s : steps) {
      SCOPED_TRACE(::testing::PrintToString(s.args));
      const ProcessResult r = Cli(s.args);
      EXPECT_EQ(r.out, s.out);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.exitCode, s.exitCode);
    }
  }

  strivex::testing::TempDir dir_;
  std::string file_ = (dir_ / kOutboxFileName).string();
  std::optional<std::string> previousTz_;
  std::unique_ptr<OutboxStore> store_;  // open all along, as the module keeps it
};

TEST_F(OutboxCliTest, ListsFiltersAndPutsBackOnlyRejectedRows) {
  const std::string retried2 =
      "2\tpending\t7006\tGLU\tGLU\t10 \\xb5mol/l\t2026-12-07 09:05:03\t0\tunknown code 'GLU'\\r\\n\t5\t\n";
  const Step steps[] = {
      {{"list"}, kRow[1] + kRow[2] + kRow[3] + kRow[4] + kRow[5], 0},
      {{"list", "--pending"}, kRow[3] + kRow[4], 0},
      {{"--rejected", "list"}, kRow[2] + kRow[5], 0},
      {{"list", "--stored", "--stored"}, kRow[1], 0},
      {{"stats"},
       "pending\t2\nstored\t1\nrejected\t2\nunassigned\t0\noldest pending\t3\t2026-12-07 09:05:03\n"
       "pending for machine\t5\t2\n",
       0},
      {{"retry", "2", "4", "99", "2", "1"},
       "2\tput back\n4\tnot put back: it is pending, not rejected\n99\tnot put back: no such row\n"
       "1\tnot put back: it is stored, not rejected\n",
       1},
      {{"list", "--pending"}, retried2 + kRow[3] + kRow[4], 0},
      {{"retry", "5"}, "5\tput back\n", 0},
      {{"retry", "--all-rejected"}, "put back 0 rejected results\n", 0},
      {{"list", "--rejected"}, "", 1},
      {{"stats"},
       "pending\t4\nstored\t1\nrejected\t0\nunassigned\t0\noldest pending\t2\t2026-12-07 09:05:03\n"
       "pending for machine\t5\t4\n",
       0},
  };
  RunSteps(steps);
  EXPECT_EQ(store_->Stats().rejected, 0);  // the module's connection sees the change
}

// A message with a sample (row 6) and a printout without one (rows 7 and 8): only the printout's
// rows are listed as unassigned and can be given a request, each once (forced: no server here).
TEST_F(OutboxCliTest, ListsAndAssignsOnlyUnassignedRows) {
  std::string error;
  const LocalTime received{2026, 12, 1, 7, 9, 6, 0, 0};
  ASSERT_TRUE(store_->AddMessage(Sample(7009, {{"BIL", "neg"}}), Sample(0, {{"KET", "5"}, {"NIT", "pos"}}),
                                 received, error))
      << error;
  const std::string row6 = "6\tpending\t7009\tBIL\tBIL\tneg\t2026-12-07 09:06:00\t0\t\t5\t\n";
  const std::string row7 = "7\tunassigned\t0\tKET\tKET\t5\t2026-12-07 09:06:00\t0\tno sample identifier\t5\t\n";
  const std::string row8 = "8\tunassigned\t0\tNIT\tNIT\tpos\t2026-12-07 09:06:00\t0\tno sample identifier\t5\t\n";
  const Step steps[] = {
      {{"list", "--unassigned"}, row7 + row8, 0},
      {{"list", "--pending"}, kRow[3] + kRow[4] + row6, 0},
      {{"stats"},
       "pending\t3\nstored\t1\nrejected\t2\nunassigned\t2\noldest pending\t3\t2026-12-07 09:05:03\n"
       "pending for machine\t5\t3\n",
       0},
      {{"assign", "7", "--request", "7010", "99", "7", "1", "2", "6", "--force"},
       "7\tput to request 7010\n99\tnot assigned: no such row\n1\tnot assigned: it is stored, not unassigned\n"
       "2\tnot assigned: it is rejected, not unassigned\n6\tnot assigned: it is pending, not unassigned\n",
       1},
      {{"list", "--unassigned"}, row8, 0},
      {{"--request=2147483647", "assign", "8", "--force", "--request", "2147483647"}, "8\tput to request 2147483647\n", 0},
      {{"assign", "8", "--request", "7011"}, "8\tnot assigned: it is pending, not unassigned\n", 1},
      {{"list", "--unassigned"}, "", 1},
      {{"stats"},
       "pending\t5\nstored\t1\nrejected\t2\nunassigned\t0\noldest pending\t3\t2026-12-07 09:05:03\n"
       "pending for machine\t5\t5\n",
       0},
  };
  RunSteps(steps);
  // The module's connection sees the rows as due like any other.
  EXPECT_EQ(store_->DuePending(0, 10).size(), 5u);
}

// The server is asked first (requests of db/lab-dev-seed.sql, machine 5): a request it does not
// know, another request's bar code and no server leave the rows unassigned, with the reason.
TEST_F(OutboxCliTest, AssignsOnlyARequestTheServerKnowsUnlessForced) {
  const std::string lab = strivex::testing::LabConnectionString();
  if (lab.empty()) {
    if (strivex::testing::LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
    GTEST_SKIP() << "no development server (STRIVEX_LAB_CONNSTR)";
  }
  std::string error;
  ASSERT_TRUE(store_->AddMessage({}, Sample(0, {{"KET", "5"}}), {2026, 12, 1, 7, 9, 6, 0, 0}, error)) << error;
  ASSERT_TRUE(store_->AddMessage({}, Sample(0, {{"NIT", "pos"}}), {2026, 12, 1, 7, 9, 7, 0, 0}, error)) << error;
  std::string noDatabase = lab;
  noDatabase.replace(noDatabase.find("strivex_lab"), 11, "strivex_none");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string err;  // how standard error starts
  } steps[] = {
      // Refused: row 6 stays unassigned, as the fifth step shows.
      {{"assign", "6", "--request", "1029", "--connect", lab}, 1, "strivex-cli: assign: request 1029 is not known"},
      {{"assign", "6", "--request", "81021", "--connect", lab}, 1, "strivex-cli: assign: 81021 is the bar code"},
      {{"assign", "6", "--request", "1021"}, 1, "strivex-cli: assign: request 1021 cannot be checked"},
      {{"assign", "6", "--request", "1021", "--connect", noDatabase}, 1, "strivex-cli: open: "},
      {{"assign", "6", "--request", "1021", "--connect", lab}, 0, ""},
      {{"assign", "7", "--request", "1029", "--force"}, 0, ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(::testing::PrintToString(step.args));
    const ProcessResult r = Cli(step.args);
    EXPECT_EQ(r.exitCode, step.exitCode);
    EXPECT_TRUE(r.err.starts_with(step.err)) << r.err;
    EXPECT_EQ(r.err.find("nothing assigned") != std::string::npos, step.exitCode != 0) << r.err;
  }
  for (const auto& [id, request, by] : {std::tuple{6, 1021, kAssignedByCommand}, std::tuple{7, 1029, kAssignedByCommandForced}}) {
    const std::optional<OutboxRow> row = store_->Row(id);
    ASSERT_TRUE(row);
    EXPECT_EQ(std::tuple(row->state, row->requestId, row->assignedBy), std::tuple(OutboxState::kPending, request, by));
  }
}

// The module may be in the middle of a write: the tool waits for it instead of failing.
TEST_F(OutboxCliTest, RetryAllWaitsForTheModulesWrite) {
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(file_.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([writer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
  });
  const ProcessResult r = Cli({"retry", "--all-rejected"});
  release.join();
  sqlite3_close(writer);
  EXPECT_EQ(r.out, "put back 2 rejected results\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
}

// Refused before anything is read or changed: exit 2, one line on standard error.
TEST_F(OutboxCliTest, RefusesOtherFilesAndBadUsage) {
  const std::string text = (dir_ / "notes.txt").string(), other = (dir_ / "settings.db").string();
  const std::string missing = (dir_ / "missing.db").string();
  strivex::testing::WriteFile(text, "not a database\n");
  // Another database (a settings file, say) must not be taken for an outbox.
  ASSERT_EQ(std::system(("sqlite3 '" + other + "' 'CREATE TABLE Medianex_Init(x)'").c_str()), 0);
  const struct {
    std::vector<std::string> args;  // after "outbox"
    std::string err;                // how standard error begins, after "strivex-cli: "
  } cases[] = {
      {{"--file", text, "stats"}, "open: " + text + " is not a result outbox"},
      {{"--file", other, "list"}, "open: " + other + " is not a result outbox"},
      {{"--file", missing, "retry", "1"}, "open: " + missing + ": no such file"},
      {{"list"}, "outbox: missing --file FILE"},
      {{"--file", missing}, "outbox: missing action"},
      {{"--file", missing, "lsit"}, "lsit: unknown action"},
      {{"--file", missing, "list", "2"}, "2: unexpected extra argument"},
      {{"--file", missing, "retry"}, "retry: missing ID... or --all-rejected"},
      {{"--file", missing, "retry", "3", "--all-rejected"}, "retry: give row ids or --all-rejected, not both"},
      {{"--file", missing, "retry", "0"}, "0: is not a row id"},
      {{"--file", missing, "retry", "99999999999999999999"}, "99999999999999999999: is not a row id"},
      {{"--file", missing, "stats", "--pending"}, "--pending: goes with list"},
      {{"--file", missing, "list", "--all-rejected"}, "--all-rejected: goes with retry"},
      {{"--file", missing, "list", "--pending", "--stored"}, "--stored: give only one of"},
      {{"--file", missing, "list", "--rejected=yes"}, "--rejected: takes no value"},
      {{"--file", missing, "list", "--unassigned", "--pending"}, "--pending: give only one of"},
      {{"--file", missing, "retry", "3", "--unassigned"}, "--unassigned: goes with list"},
      {{"--file", missing, "list", "--request", "5"}, "--request: goes with assign"},
      {{"--file", missing, "assign", "3", "--request", "5", "--all-rejected"}, "--all-rejected: goes with retry"},
      {{"--file", missing, "assign", "3"}, "assign: missing --request N"},
      {{"--file", missing, "assign", "--request", "5"}, "assign: missing ID..."},
      {{"--file", missing, "assign", "x", "--request", "5"}, "x: is not a row id"},
      {{"--file", missing, "assign", "3", "--request"}, "--request: missing value"},
      {{"--file", missing, "assign", "3", "--request", "5", "--request=6"}, "--request: give only one request id"},
      {{"--file", missing, "assign", "3", "--request", "0"}, "--request: '0' is not a request id"},
      {{"--file", missing, "assign", "3", "--request", "-5"}, "--request: '-5' is not a request id"},
      {{"--file", missing, "assign", "3", "--request", "+5"}, "--request: '+5' is not a request id"},
      {{"--file", missing, "assign", "3", "--request", "2147483648"}, "--request: '2147483648' is not a request id"},
      {{"--file", missing, "assign", "3", "--request=7x"}, "--request: '7x' is not a request id"},
      {{"--file", missing, "assign", "3", "--request="}, "--request: '' is not a request id"},
      {{"list", "--file"}, "--file: missing value"},
      {{"--file=", "list"}, "--file: empty file name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args{"outbox"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunProcess(STRIVEX_CLI_PATH, args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("strivex-cli: " + c.err)) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(OutboxCli, HelpDescribesTheOutput) {
  const ProcessResult r = RunProcess(STRIVEX_CLI_PATH, {"outbox", "--file", "x", "list", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.starts_with("Usage: strivex-cli outbox --file FILE list")) << r.out;
  EXPECT_NE(r.out.find("TAB <attempts> TAB <note>"), std::string::npos);
  EXPECT_NE(r.out.find("\n       strivex-cli outbox --file FILE assign ID... --request N\n"
                       "                          (--connect CONNSTR [--password-file FILE] [--relay HOST[:PORT]]\n"
                       "                           | --force)\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("\n  unassigned TAB <n>\n"), std::string::npos);
  EXPECT_NE(RunProcess(STRIVEX_CLI_PATH, {"--help"}).out.find("\n  outbox "), std::string::npos);
}

}  // namespace
}  // namespace strivex::cli
