// The outbox on real SQLite files: what goes in comes out byte for byte, survives the process being
// killed, and moves through its states by the retry rules.

#include "outbox/outbox_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "outbox/retry_rules.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

struct ResultLine {
  const char* analysis;
  const char* parameter;
  std::string value;
};

// One sample a request id, each with the given results under their analyses.
SampleList Samples(std::initializer_list<std::pair<int32_t, std::vector<ResultLine>>> samples) {
  SampleList list;
  for (const auto& [requestId, results] : samples) {
    auto sample = std::make_unique<SampleRecord>(requestId);
    for (const ResultLine& line : results) {
      auto group = std::make_unique<GroupRecord>(line.analysis);
      auto result = std::make_unique<ResultRecord>();
      result->parameterCode = line.parameter;
      result->value = line.value;
      group->results.append(std::move(result));
      sample->groups.append(std::move(group));
    }
    list.append(std::move(sample));
  }
  return list;
}

constexpr LocalTime kReceived{2026, 12, 1, 7, 9, 5, 3, 0};

// Makes an outbox what the first format left.
constexpr const char* kBackToFirstFormat = "ALTER TABLE results DROP COLUMN machine_id; ALTER TABLE results DROP "
    "COLUMN assigned_at; ALTER TABLE results DROP COLUMN assigned_by; PRAGMA user_version=1;";

class OutboxStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<OutboxStore> OpenStore(OutboxStore::OpenMode mode = OutboxStore::OpenMode::kCreate) {
    std::string error;
    auto store = OutboxStore::Open(path_, mode, error);
    EXPECT_TRUE(store) << error;
    return store;
  }

  int64_t Add(OutboxStore& store, SampleList samples) {
    std::string error;
    auto id = store.AddMessage(samples, kReceived, error);
    EXPECT_TRUE(id) << error;
    return id.value_or(0);
  }

  testing::TempDir dir_;
  std::string path_ = (dir_ / kOutboxFileName).string();
};

TEST_F(OutboxStoreTest, KeepsEveryResultByteForByteInArrivalOrderAcrossReopening) {
  const std::string awkward[] = {"neg", "", "it's \"odd\"; --", std::string("10 \xB5mol/l"),
                                 std::string(1000, 'x'), std::string("a\0b", 3)};
  {
    auto store = OpenStore();
    Add(*store, Samples({{7006, {{"LEU", "LEU", awkward[0]}, {"GLU", "GLU", awkward[1]}}},
                         {7007, {{"PRO", "PRO", awkward[2]}}}}));
    Add(*store, Samples({{7008, {{"UBG", "UBG", awkward[3]}, {"SG", "SG", awkward[4]}, {"PH", "PH", awkward[5]}}}}));
  }
  auto store = OpenStore(OutboxStore::OpenMode::kExisting);
  const std::vector<OutboxRow> rows = store->DuePending(0, 100);
  ASSERT_EQ(rows.size(), 6u);
  const struct {
    int32_t requestId;
    int32_t sampleIndex;
    const char* parameter;
  } expected[] = {{7006, 0, "LEU"}, {7006, 0, "GLU"}, {7007, 1, "PRO"}, {7008, 0, "UBG"}, {7008, 0, "SG"}, {7008, 0, "PH"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].requestId, expected[i].requestId);
    EXPECT_EQ(rows[i].sampleIndex, expected[i].sampleIndex);
    EXPECT_EQ(rows[i].parameterCode, expected[i].parameter);
    EXPECT_EQ(rows[i].analysisCode, expected[i].parameter);
    EXPECT_EQ(rows[i].value, awkward[i]);
    EXPECT_EQ(rows[i].secondMarker, " ");
    EXPECT_EQ(rows[i].receivedAt, "2026-12-07 09:05:03");
    EXPECT_EQ(rows[i].state, OutboxState::kPending);
    if (i > 0) {
      EXPECT_GT(rows[i].id, rows[i - 1].id);
    }
  }
  EXPECT_EQ(rows[0].messageId, rows[2].messageId);
  EXPECT_NE(rows[0].messageId, rows[3].messageId);
}

TEST_F(OutboxStoreTest, NewFileIsTheOwnersOnlyAndWritesAheadWithFullSync) {
  auto store = OpenStore();
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  Add(*store, Samples({{1, {{"LEU", "LEU", "neg"}}}}));
  ASSERT_EQ(::stat((path_ + "-wal").c_str(), &info), 0) << "no write-ahead log";
  EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST_F(OutboxStoreTest, RefusesWhatIsNotAnOutbox) {
  const struct {
    const char* name;
    std::string content;  // empty: no file at all
    OutboxStore::OpenMode mode;
    const char* reason;
  } cases[] = {
      {"missing", "", OutboxStore::OpenMode::kExisting, "no such file"},
      {"text", "hello, not a database\n", OutboxStore::OpenMode::kExisting, "not a result outbox"},
      {"text", "hello, not a database\n", OutboxStore::OpenMode::kCreate, "not a result outbox"},
      {"other.db", "sqlite", OutboxStore::OpenMode::kExisting, "not a result outbox"},
      {"other.db", "sqlite", OutboxStore::OpenMode::kCreate, "not a result outbox"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.mode == OutboxStore::OpenMode::kCreate ? " create" : " existing"));
    const std::string path = (dir_ / c.name).string();
    std::filesystem::remove(path);
    if (c.content == "sqlite") {
      std::string error;
      // Another database (a local settings file, say) must never be taken for an outbox.
      ASSERT_EQ(std::system(("sqlite3 '" + path + "' 'CREATE TABLE Medianex_Init(x)'").c_str()), 0);
    } else if (!c.content.empty()) {
      testing::WriteFile(path, c.content);
    }
    std::string error;
    EXPECT_FALSE(OutboxStore::Open(path, c.mode, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

TEST_F(OutboxStoreTest, OutcomesFollowTheRetryRules) {
  const RetryPolicy policy{3, 60};
  using O = SendOutcome;
  const struct {
    const char* name;
    std::vector<O> outcomes;  // one a minute apart
    OutboxState state;
    int32_t attempts;
  } cases[] = {
      {"stored at once", {O::kStored}, OutboxState::kStored, 0},
      {"connection lost keeps it pending and counts nothing", {O::kConnectionLost, O::kConnectionLost}, OutboxState::kPending, 0},
      {"refused then stored", {O::kRejected, O::kStored}, OutboxState::kStored, 1},
      {"refused four times is rejected", {O::kRejected, O::kRejected, O::kRejected, O::kRejected}, OutboxState::kRejected, 4},
      {"three refusals still pending", {O::kRejected, O::kRejected, O::kRejected}, OutboxState::kPending, 3},
      {"a lost connection between refusals", {O::kRejected, O::kConnectionLost, O::kRejected}, OutboxState::kPending, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path_);
    auto store = OpenStore();
    Add(*store, Samples({{5, {{"LEU", "LEU", "neg"}}}}));
    int64_t now = 1000;
    for (O outcome : c.outcomes) {
      const std::vector<OutboxRow> due = store->DuePending(now, 10);
      ASSERT_EQ(due.size(), 1u) << "the row was not due at " << now;
      ASSERT_TRUE(RecordOutcome(*store, due[0], outcome, "ERROR: 23503 no such detail", policy, now));
      now += policy.delaySeconds;
    }
    const OutboxRow row = *store->Row(1);
    EXPECT_EQ(row.state, c.state);
    EXPECT_EQ(row.attempts, c.attempts);
    if (c.attempts > 0 && c.state != OutboxState::kStored) {
      EXPECT_EQ(row.lastError, "ERROR: 23503 no such detail");
    }
    if (c.state == OutboxState::kStored) {
      EXPECT_EQ(row.storedAt, now - policy.delaySeconds);
    }
  }
}

TEST_F(OutboxStoreTest, ARefusedRowWaitsItsTurnWithoutBlockingTheRowsBehindIt) {
  auto store = OpenStore();
  Add(*store, Samples({{1, {{"LEU", "LEU", "neg"}, {"GLU", "GLU", "norm"}}}, {2, {{"PH", "PH", "6"}}}}));
  const RetryPolicy policy{3, 60};
  std::vector<OutboxRow> due = store->DuePending(100, 10);
  ASSERT_EQ(due.size(), 3u);
  RecordOutcome(*store, due[0], SendOutcome::kRejected, "refused", policy, 100);

  due = store->DuePending(101, 10);
  ASSERT_EQ(due.size(), 2u);
  EXPECT_EQ(due[0].parameterCode, "GLU");
  EXPECT_EQ(store->NextAttemptAt(), 0);
  for (const OutboxRow& row : due) RecordOutcome(*store, row, SendOutcome::kStored, "", policy, 101);

  EXPECT_EQ(store->NextAttemptAt(), 160);
  EXPECT_TRUE(store->DuePending(159, 10).empty());
  ASSERT_EQ(store->DuePending(160, 10).size(), 1u);
  EXPECT_EQ(store->DuePending(160, 1).front().parameterCode, "LEU");
}

TEST_F(OutboxStoreTest, CountsAndRetriesAndPurgesByState) {
  auto store = OpenStore();
  const int64_t first = Add(*store, Samples({{1, {{"A", "A", "1"}, {"B", "B", "2"}, {"C", "C", "3"}}}}));
  Add(*store, Samples({{2, {{"D", "D", "4"}}}}));
  store->MarkStored(1, 1000);           // old: purged
  store->MarkStored(2, 5000);           // recent: kept
  store->MarkRejected(3, 4, "refused");  // never purged
  EXPECT_EQ(store->BacklogOf(first, 0).pending, 0);
  EXPECT_EQ(store->BacklogOf(first, 0).rejected, 1);

  OutboxStats stats = store->Stats();
  EXPECT_EQ(stats.pending, 1);
  EXPECT_EQ(stats.stored, 2);
  EXPECT_EQ(stats.rejected, 1);
  EXPECT_EQ(stats.oldestPendingId, 4);

  EXPECT_EQ(store->PurgeStoredBefore(2000), 1);
  EXPECT_FALSE(store->Row(1));
  EXPECT_TRUE(store->Row(2));

  // Only rejected rows go back in line; unknown and pending ids are left alone.
  const int64_t ids[] = {2, 3, 4, 99};
  EXPECT_EQ(store->Retry(ids), std::vector<int64_t>{3});
  const OutboxRow retried = *store->Row(3);
  EXPECT_EQ(retried.state, OutboxState::kPending);
  EXPECT_EQ(retried.attempts, 0);
  EXPECT_EQ(retried.lastError, "refused") << "the reason stays visible until it is stored";
  EXPECT_EQ(store->List(OutboxState::kPending).size(), 2u);
  EXPECT_TRUE(store->RetryAllRejected().empty());
}

TEST_F(OutboxStoreTest, UnassignedPrintoutsWaitUntilGivenARequest) {
  auto store = OpenStore();
  std::string error;
  const SampleList samples = Samples({{7006, {{"S_TRV", "LEU", "neg"}}}});
  // A control printout and an unreadable one, in the order they arrived.
  const SampleList unassigned = Samples({{0, {{"S_TRV", "LEU", "75"}, {"S_TRV", "GLU", "5.5"}}}, {0, {{"S_TRV", "PH", "6"}}}});
  const auto message = store->AddMessage(samples, unassigned, kReceived, error);
  ASSERT_TRUE(message) << error;
  EXPECT_EQ(store->DuePending(0, 10).size(), 1u) << "unassigned results are never sent on their own";
  EXPECT_EQ(store->Stats().unassigned, 3);
  const std::vector<OutboxRow> waiting = store->List(OutboxState::kUnassigned);
  ASSERT_EQ(waiting.size(), 3u);
  EXPECT_EQ(waiting[0].sampleIndex, 1);
  EXPECT_EQ(waiting[2].sampleIndex, 2);
  EXPECT_EQ(waiting[0].requestId, 0);

  EXPECT_EQ(store->AssignPrintout(*message, 1, 7007, kAssignedInWindow), 2);
  EXPECT_EQ(store->AssignPrintout(*message, 1, 7008, kAssignedInWindow), 0) << "assigned once only";
  const std::vector<OutboxRow> due = store->DuePending(0, 10);
  ASSERT_EQ(due.size(), 3u);
  EXPECT_EQ(due[1].requestId, 7007);
  EXPECT_EQ(due[2].parameterCode, "GLU");

  const int64_t ids[] = {waiting[2].id, waiting[0].id, 999};
  EXPECT_EQ(store->AssignRows(ids, 7009, kAssignedByCommand), std::vector<int64_t>{waiting[2].id});
  EXPECT_EQ(store->Row(waiting[2].id)->requestId, 7009);
  EXPECT_EQ(store->Stats().unassigned, 0);
}

TEST_F(OutboxStoreTest, ACommittedMessageSurvivesTheProcessBeingKilled) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string error;
    auto store = OutboxStore::Open(path_, OutboxStore::OpenMode::kCreate, error);
    SampleList samples = Samples({{42, {{"LEU", "LEU", "neg"}, {"NIT", "NIT", "pos"}}}});
    if (!store || !store->AddMessage(samples, kReceived, error)) _exit(3);
    raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child failed before it was killed";
  auto store = OpenStore(OutboxStore::OpenMode::kExisting);
  EXPECT_EQ(store->Stats().pending, 2);
}

TEST_F(OutboxStoreTest, AFullDiskLosesNothingAlreadyCommitted) {
  {
    auto store = OpenStore();
    Add(*store, Samples({{1, {{"LEU", "LEU", "neg"}}}}));
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    std::string error;
    auto store = OutboxStore::Open(path_, OutboxStore::OpenMode::kCreate, error);
    if (!store) _exit(3);
    const struct stat info = [&] { struct stat s{}; ::stat((path_ + "-wal").c_str(), &s); return s; }();
    const rlimit limit{static_cast<rlim_t>(info.st_size + 4096), RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    SampleList big = Samples({{2, {{"SG", "SG", std::string(64 * 1024, 'x')}}}});
    const bool written = store->AddMessage(big, kReceived, error).has_value();
    _exit(written ? 4 : (error.empty() ? 5 : 0));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "4: written past the limit, 5: failed without a reason";
  auto store = OpenStore(OutboxStore::OpenMode::kExisting);
  EXPECT_EQ(store->Stats().pending, 1);
  EXPECT_EQ(store->DuePending(0, 10).at(0).value, "neg");
}

TEST_F(OutboxStoreTest, OneThreadAddsWhileAnotherDrains) {
  auto store = OpenStore();
  constexpr int kMessages = 60;
  std::thread producer([&] {
    for (int i = 0; i < kMessages; ++i) Add(*store, Samples({{i + 1, {{"LEU", "LEU", "neg"}, {"GLU", "GLU", "n"}}}}));
  });
  int stored = 0;
  for (int spins = 0; stored < 2 * kMessages && spins < 100000; ++spins) {
    for (const OutboxRow& row : store->DuePending(0, 7)) stored += store->MarkStored(row.id, 1) ? 1 : 0;
  }
  producer.join();
  EXPECT_EQ(stored, 2 * kMessages);
  EXPECT_EQ(store->Stats().stored, 2 * kMessages);
}


// Two instruments' modules once shared a folder: each row keeps its machine, a module sends and
// counts only its own, and rows written before rows kept a machine become the opener's.
TEST_F(OutboxStoreTest, RowsKeepTheirInstrumentAndOlderFilesBecomeTheOpenersRows) {
  {
    auto legacy = OpenStore();
    Add(*legacy, Samples({{1001, {{"S_TRV", "LEU", "neg"}}}}));
  }
  {
    // The file as the first format left it.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw, kBackToFirstFormat, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
    sqlite3_close(raw);
  }
  auto seven = OpenStore();
  ASSERT_TRUE(seven->SetOwner(7));
  Add(*seven, Samples({{1002, {{"S_TRV", "GLU", "5"}}}}));
  auto five = OpenStore();
  ASSERT_TRUE(five->SetOwner(5));
  Add(*five, Samples({{1003, {{"S_TRV", "PRO", "neg"}}}}));

  const struct {
    OutboxStore* store;
    std::vector<int32_t> requests;  // the rows it sends
    int64_t others;
  } owners[] = {{seven.get(), {1001, 1002}, 1}, {five.get(), {1003}, 2}};
  for (const auto& o : owners) {
    std::vector<int32_t> due;
    for (const OutboxRow& row : o.store->DuePending(0, 10)) due.push_back(row.requestId);
    EXPECT_EQ(due, o.requests);
    EXPECT_EQ(o.store->Backlog().pending, static_cast<int64_t>(o.requests.size()));
    EXPECT_EQ(o.store->Backlog().otherMachines, o.others);
  }
  EXPECT_EQ(seven->Row(1)->machineId, 7) << "the older row went to the first module that opened it";
  EXPECT_EQ(five->Stats().pendingByMachine, (std::vector<std::pair<int32_t, int64_t>>{{5, 1}, {7, 2}}));
}

// A module and strivex-cli outbox started together on an older or a new file: both look at it while
// another connection writes, so neither has changed it when the other looks.
TEST_F(OutboxStoreTest, TwoOpensAtOnceOfAnOlderOrANewFileBothGetIt) {
  const struct {
    const char* name;
    int64_t olderRows;      // what the file holds before the opens
    const char* makeOlder;  // run on an outbox holding them
  } cases[] = {{"first format", 1, kBackToFirstFormat}, {"new", 0, ""}};
  auto openAndAdd = [this](std::string* error) {
    if (auto store = OutboxStore::Open(path_, OutboxStore::OpenMode::kCreate, *error)) {
      store->AddMessage(Samples({{7, {{"S_TRV", "GLU", "5"}}}}), kReceived, *error);
    }
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    path_ = (dir_ / c.name).string();
    if (c.olderRows > 0) Add(*OpenStore(), Samples({{1001, {{"S_TRV", "LEU", "neg"}}}}));
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, (std::string(c.makeOlder) + "BEGIN IMMEDIATE").c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK) << sqlite3_errmsg(writer);
    std::string errors[2];
    {
      const std::jthread first(openAndAdd, &errors[0]), second(openAndAdd, &errors[1]);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both have looked by now
      sqlite3_close(writer);                                          // its transaction rolls back
    }
    EXPECT_EQ(errors[0] + errors[1], "");
    EXPECT_EQ(OpenStore()->Stats().pending, c.olderRows + 2) << "one row from each open";
  }
}

}  // namespace
}  // namespace strivex
