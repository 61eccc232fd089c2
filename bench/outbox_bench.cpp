// The result outbox: what committing one message of 12 results costs, and how fast DrainOutbox
// sends a backlog of 10,000 results next to the same statements sent directly through SQLCommand
// on the same session, round after round.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "host/module_view.h"
#include "host/result_sender.h"
#include "host/upload_thread.h"
#include "lab_session.h"
#include "one_cpu.h"
#include "outbox/outbox_store.h"
#include "outbox_messages.h"
#include "smoke.h"
#include "sqlite/statement.h"
#include "sqlite/transaction.h"
#include "support/temp_dir.h"
#include "util/format.h"

namespace strivex::bench {
namespace {

using Clock = std::chrono::steady_clock;

const int kBacklogResults = FullOrSmoke(10'000, 240);
constexpr int kResultsPerPage = 12;
// The backlog's request ids, one per message, above those of the hand-over benchmark.
constexpr int32_t kBacklogFirstRequestId = kOutboxFirstRequestId + 50'000;
const int kDrainRounds = FullOrSmoke(5, 1);

// DrainOutbox tells the window which rows are stored; here nobody looks.
class NoView : public ModuleView {
 public:
  void SetPatientText(const std::string&) override {}
  void AddReceivedRow(ReceivedRow) override {}
  void SetRowBacklog(int64_t, int32_t, int64_t, int64_t) override {}
  void NotifyOperator(const std::string&) override {}
  void Post(std::function<void()>) override {}
  std::string RequestCodeText() override { return {}; }
  void SetRequestCodeText(const std::string&) override {}
  void SetMenuState(MenuState) override {}
  void SetCaption(const std::string&) override {}
  void HideWindow() override {}
  void DeleteListItems() override {}
};

void BM_OutboxAddMessage(benchmark::State& state) {
  testing::TempDir dir;
  std::string error;
  auto outbox = OutboxStore::Open((dir / kOutboxFileName).string(), OutboxStore::OpenMode::kCreate, error);
  if (!outbox) {
    state.SkipWithError(error.c_str());
    return;
  }
  const SampleList samples = InterpretedPage(kOutboxFirstRequestId, 1);
  const LocalTime receivedAt = GetLocalTime();
  for (auto _ : state) {
    if (!outbox->AddMessage(samples, receivedAt, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());  // messages
  state.counters["results"] = kResultsPerPage;
}
// Real time: the commit waits for the disk, not for the CPU.
BENCHMARK(BM_OutboxAddMessage)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Apply([](benchmark::internal::Benchmark* b) { MinTimeOrOnce(b, 2); });

// The first `keep` results of a one-sample message.
SampleList FirstResults(const SampleList& message, int keep) {
  SampleList out;
  const SampleRecord& from = *message.head();
  const GroupRecord& fromGroup = *from.groups.head();
  GroupRecord& group = out.emplace_back(from.requestId).groups.emplace_back(fromGroup.analysisCode);
  int taken = 0;
  for (const ResultRecord& result : fromGroup.results) {
    if (taken++ == keep) break;
    ResultRecord& copy = group.results.emplace_back(result.time);
    copy.parameterCode = result.parameterCode;
    copy.value = result.value;
    copy.firstMarker = result.firstMarker;
    copy.secondMarker = result.secondMarker;
  }
  return out;
}

// One result as the direct benchmark sends it.
struct PlainResult {
  int32_t requestId;
  std::string analysisCode, parameterCode, value, secondMarker;
};

// The backlog as the module would have committed it, one message per page (the last one cut to
// make 10,000), built once into a file every round starts from a copy of; and the same results
// for the direct benchmark.
class Backlog {
 public:
  static const Backlog& Get() {
    static const Backlog backlog;
    return backlog;
  }
  const std::string& failure() const { return failure_; }
  const std::filesystem::path& file() const { return file_; }
  const std::vector<PlainResult>& results() const { return results_; }

 private:
  Backlog() : file_(dir_ / "backlog.db") {
    std::string error;
    auto outbox = OutboxStore::Open(file_.string(), OutboxStore::OpenMode::kCreate, error);
    if (!outbox) {
      failure_ = error;
      return;
    }
    const LocalTime receivedAt = GetLocalTime();
    for (int page = 0; static_cast<int>(results_.size()) < kBacklogResults; ++page) {
      SampleList message = InterpretedPage(kBacklogFirstRequestId + page, static_cast<uint64_t>(page) + 100);
      const int left = kBacklogResults - static_cast<int>(results_.size());
      if (left < kResultsPerPage) message = FirstResults(message, left);
      for (const SampleRecord& sample : message) {
        for (const GroupRecord& group : sample.groups) {
          for (const ResultRecord& result : group.results) {
            results_.push_back({sample.requestId, group.analysisCode, result.parameterCode, result.value,
                                result.secondMarker});
          }
        }
      }
      if (!outbox->AddMessage(message, receivedAt, error)) {
        failure_ = error;
        return;
      }
    }
    // Closing the last connection folds the write-ahead log into the file: one file to copy.
  }

  testing::TempDir dir_;
  std::filesystem::path file_;
  std::string failure_;
  std::vector<PlainResult> results_;
};

// Removes the rows a round stored, outside the measured time.
bool DeleteBacklogRows(BazaDeDate& db, benchmark::State& state) {
  if (db.SQLCommand(Format("DELETE FROM lab_results WHERE machine_id=%d AND request_id BETWEEN %d AND %d", kMachineId,
                           kBacklogFirstRequestId, kOutboxLastRequestId),
                    0)) {
    return true;
  }
  state.SkipWithError(("cannot delete the stored rows: " + db.LastErrorDetail()).c_str());
  return false;
}

void BM_OutboxDrain(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session) return;
  const Backlog& backlog = Backlog::Get();
  if (!backlog.failure().empty()) {
    state.SkipWithError(("cannot build the backlog: " + backlog.failure()).c_str());
    return;
  }
  const OneCpu cpu;
  const bool sameCpu = cpu.Pin(session->serverPid);
  NoteOutboxResultsInserted();
  NoView view;
  int64_t sent = 0;
  for (auto _ : state) {
    testing::TempDir dir;
    const std::filesystem::path file = dir / kOutboxFileName;
    std::filesystem::copy_file(backlog.file(), file);
    std::string error;
    auto outbox = OutboxStore::Open(file.string(), OutboxStore::OpenMode::kExisting, error);
    if (!outbox) {
      state.SkipWithError(error.c_str());
      break;
    }
    ModuleContext context;
    context.upload.Attach(nullptr, outbox.get());
    context.server.Attach(&session->db);
    context.server.SetMachineIds({kMachineId, kMachineId});
    context.server.SetCodes({{}, StripCodeList()});
    context.shown.Attach(&view, nullptr);

    const auto started = Clock::now();
    const DrainResult drained = DrainOutbox(context.ForUpload());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());

    const OutboxStats stats = outbox->Stats();
    if (drained.stalled || drained.sent != kBacklogResults || stats.stored != kBacklogResults) {
      state.SkipWithError(Format("drained %lld of %d (stored %lld, stalled %d): %s",
                                 static_cast<long long>(drained.sent), kBacklogResults,
                                 static_cast<long long>(stats.stored), drained.stalled ? 1 : 0,
                                 session->db.LastErrorDetail().c_str())
                              .c_str());
      break;
    }
    sent += drained.sent;
    if (!DeleteBacklogRows(session->db, state)) break;
  }
  state.counters["items_per_second"] = benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
  state.counters["results"] = kBacklogResults;
  state.counters["same_cpu"] = sameCpu ? 1 : 0;
}

// The same 10,000 statements, formatted as SendOutboxRow formats them, straight to SQLCommand.
void BM_OutboxDirectInsert(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session) return;
  const Backlog& backlog = Backlog::Get();
  if (!backlog.failure().empty()) {
    state.SkipWithError(("cannot build the backlog: " + backlog.failure()).c_str());
    return;
  }
  const std::vector<InvestigationCodeEntry> codes = StripCodeList();
  const OneCpu cpu;
  const bool sameCpu = cpu.Pin(session->serverPid);
  NoteOutboxResultsInserted();
  int64_t sent = 0;
  for (auto _ : state) {
    const auto started = Clock::now();
    for (const PlainResult& result : backlog.results()) {
      const CodeIds ids = MapCodes(codes, result.analysisCode, result.parameterCode);
      if (!session->db.SQLCommand(
              ResultStatement(result.requestId, kMachineId, ids, result.value, result.secondMarker), 0)) {
        state.SkipWithError(("SQLCommand failed: " + session->db.LastErrorDetail()).c_str());
        return;
      }
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    sent += static_cast<int64_t>(backlog.results().size());
    if (!DeleteBacklogRows(session->db, state)) break;
  }
  state.counters["items_per_second"] = benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
  state.counters["results"] = kBacklogResults;
  state.counters["same_cpu"] = sameCpu ? 1 : 0;
}

// ---- where the drain's time goes ---------------------------------------------------------------

// A copy of the backlog in a folder of its own, for one benchmark iteration.
struct BacklogCopy {
  testing::TempDir dir;
  std::filesystem::path file = dir / kOutboxFileName;
  BacklogCopy() { std::filesystem::copy_file(Backlog::Get().file(), file); }
};

// Marking every row stored, as DrainOutbox does after each confirmed statement, without a server.
void BM_OutboxMarkStored(benchmark::State& state) {
  if (!Backlog::Get().failure().empty()) {
    state.SkipWithError(("cannot build the backlog: " + Backlog::Get().failure()).c_str());
    return;
  }
  int64_t marked = 0;
  for (auto _ : state) {
    BacklogCopy copy;
    std::string error;
    auto outbox = OutboxStore::Open(copy.file.string(), OutboxStore::OpenMode::kExisting, error);
    if (!outbox) {
      state.SkipWithError(error.c_str());
      return;
    }
    const std::vector<OutboxRow> rows = outbox->DuePending(UnixNow(), kBacklogResults);
    const auto started = Clock::now();
    for (const OutboxRow& row : rows) {
      if (!outbox->MarkStored(row.id, UnixNow())) {
        state.SkipWithError(outbox->LastError().c_str());
        return;
      }
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    marked += static_cast<int64_t>(rows.size());
  }
  state.counters["items_per_second"] = benchmark::Counter(static_cast<double>(marked), benchmark::Counter::kIsRate);
}

// The same marks through one statement prepared once, on a connection that stays at
// synchronous=NORMAL, `per_transaction` marks to a transaction: what a mark costs without
// preparing its statement and switching the synchronous setting twice (1), and with the marks of a
// sample (12) or of a drain chunk (200) committed together.
void BM_OutboxMarkStoredPreparedOnce(benchmark::State& state) {
  if (!Backlog::Get().failure().empty()) {
    state.SkipWithError(("cannot build the backlog: " + Backlog::Get().failure()).c_str());
    return;
  }
  const int64_t perTransaction = state.range(0);
  int64_t marked = 0;
  for (auto _ : state) {
    BacklogCopy copy;
    sqlite::Error failure;
    sqlite::Connection db = sqlite::Connection::Open(copy.file, failure);
    if (!db.ok() || !db.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", failure)) {
      state.SkipWithError(failure.message.c_str());
      return;
    }
    std::vector<int64_t> ids;
    {
      sqlite::Statement select(db, "SELECT id FROM results WHERE state = 'pending' ORDER BY id");
      while (select.Step()) ids.push_back(select.Int(0));
    }
    sqlite::Statement update(db, "UPDATE results SET state = 'stored', stored_at = ?, last_error = '' WHERE id = ?");
    const auto started = Clock::now();
    int64_t inTransaction = 0;
    std::optional<sqlite::Transaction> transaction;
    for (int64_t id : ids) {
      if (perTransaction > 1 && inTransaction == 0) transaction.emplace(db, sqlite::Transaction::Lock::kDeferred);
      if (!update.Bind(1, UnixNow()).Bind(2, id).Run()) {
        state.SkipWithError(update.error().message.c_str());
        return;
      }
      update.Reset();
      if (perTransaction > 1 && ++inTransaction == perTransaction) {
        transaction->Commit();
        transaction.reset();
        inTransaction = 0;
      }
    }
    if (transaction) transaction->Commit();
    transaction.reset();
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - started).count());
    marked += static_cast<int64_t>(ids.size());
  }
  state.counters["items_per_second"] = benchmark::Counter(static_cast<double>(marked), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_OutboxMarkStored)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(FullOrSmoke(3, 1));
BENCHMARK(BM_OutboxMarkStoredPreparedOnce)
    ->ArgName("per_transaction")
    ->Arg(1)
    ->Arg(12)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(FullOrSmoke(3, 1));

// In turn, round after round, so load from elsewhere on the machine falls on both alike.
[[maybe_unused]] const bool registered = [] {
  for (int round = 1; round <= kDrainRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    benchmark::RegisterBenchmark(("BM_OutboxDirectInsert" + suffix).c_str(), BM_OutboxDirectInsert)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_OutboxDrain" + suffix).c_str(), BM_OutboxDrain)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace strivex::bench
