// The module at work and at rest. Hand-over: from the moment the silence rule completes a message
// on a real serial line (a pseudo-terminal) to its results committed on the development server,
// through the module's own processing and upload threads. Idle: the CPU time strivex-host with the
// module takes while nothing arrives.

#include <benchmark/benchmark.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "host/host_record.h"
#include "host/module_core.h"
#include "host/module_view.h"
#include "lab_session.h"
#include "local_database.h"
#include "module_bench.h"
#include "outbox/outbox_store.h"
#include "outbox_messages.h"
#include "platform/message_box.h"
#include "serial/receive_context.h"
#include "smoke.h"
#include "sqlite/connection.h"
#include "support/background_process.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "util/format.h"

namespace strivex::bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Each message waits out the line's silence, about four seconds.
const int kHandOverMessages = FullOrSmoke(50, 2);
constexpr int64_t kMonthOfResults = 100'000;
const auto kIdleTime = FullOrSmoke(60s, 2s);
// After "initialised": the start-up's last steps and the first upload pass are not idling.
const auto kIdleSettle = FullOrSmoke(5s, 1s);
// Results one transaction adds while a month of stored results is made up.
constexpr int kRowsPerCommit = 12 * 1'000;

std::string idleDetails;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  // Nearest rank: the value at or below which `fraction` of the figures lie.
  const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  return values[std::max<size_t>(rank, 1) - 1];
}

// An outbox as 30 days of work leave it: `rows` results stored and kept for audit.
bool FillStoredOutbox(const std::filesystem::path& file, int64_t rows, std::string& error) {
  {
    auto outbox = OutboxStore::Open(file.string(), OutboxStore::OpenMode::kCreate, error);
    if (!outbox) return false;
    const SampleList page = InterpretedPage(kOutboxFirstRequestId, 7);
    for (int64_t added = 0; added < rows; added += kRowsPerCommit) {
      SampleList message;
      for (int64_t n = 0; n < kRowsPerCommit / 12 && added + n * 12 < rows; ++n) {
        GroupRecord& group = message.emplace_back(kOutboxFirstRequestId).groups.emplace_back("S_TRV");
        for (const ResultRecord& result : page.head()->groups.head()->results) {
          ResultRecord& copy = group.results.emplace_back(result.time);
          copy.parameterCode = result.parameterCode;
          copy.value = result.value;
        }
      }
      if (!outbox->AddMessage(message, GetLocalTime(), error)) return false;
    }
  }
  sqlite::Error failure;
  sqlite::Connection db = sqlite::Connection::Open(file, failure);
  const std::string sql = Format("UPDATE results SET state='stored', stored_at=%lld",
                                 static_cast<long long>(UnixNow()));
  if (!db.ok() || !db.Exec(sql.c_str(), failure)) {
    error = failure.message;
    return false;
  }
  return true;
}

// ---- hand-over ---------------------------------------------------------------------------------

// Stands in for the window and notes when the worker threads reach it with a message: the
// processing thread after interpreting it, the upload thread when it lists the sample (its results
// are in the outbox) and when it reports them all stored on the server.
class TimingView : public ModuleView {
 public:
  struct Times {
    Clock::time_point interpreted, listed, stored;
  };

  void Expect(int32_t requestId) {
    std::lock_guard lock(mutex_);
    expected_ = requestId;
    times_ = {};
    messageId_ = 0;
    done_ = false;
  }

  // The times of the expected message once stored, or nullopt after `timeout`.
  std::optional<Times> WaitStored(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return done_; })) return std::nullopt;
    return times_;
  }

  std::vector<std::string> Notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
  }

  void SetPatientText(const std::string&) override {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    times_.interpreted = now;
  }
  void AddReceivedRow(ReceivedRow row) override {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    if (row.sample && row.sample->requestId == expected_) {
      times_.listed = now;
      messageId_ = row.outboxMessageId;
      // The upload thread may have sent the rows before it listed the sample.
      if (messageId_ != 0 && row.pending == 0 && row.rejected == 0) Finish(now);
    }
    rows_.push_back(std::move(row));  // the window keeps its rows' samples too
  }
  void SetRowBacklog(int64_t messageId, int32_t, int64_t pending, int64_t rejected) override {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    if (messageId == messageId_ && pending == 0 && rejected == 0) Finish(now);
  }
  void NotifyOperator(const std::string& text) override {
    std::lock_guard lock(mutex_);
    notices_.push_back(text);
  }
  void Post(std::function<void()>) override {}
  std::string RequestCodeText() override { return {}; }
  void SetRequestCodeText(const std::string&) override {}
  void SetMenuState(MenuState) override {}
  void SetCaption(const std::string&) override {}
  void HideWindow() override {}
  void DeleteListItems() override {
    std::lock_guard lock(mutex_);
    rows_.clear();
  }

 private:
  void Finish(Clock::time_point now) {
    if (done_) return;
    times_.stored = now;
    done_ = true;
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int32_t expected_ = 0;
  int64_t messageId_ = 0;
  Times times_;
  bool done_ = false;
  std::vector<ReceivedRow> rows_;
  std::vector<std::string> notices_;
};

struct Completion {
  Clock::time_point at;           // the last look that still saw the message incomplete
  Clock::duration uncertainty{};  // from there to the look that saw it complete
};

// When the reader sets RX_COMPLETE. The consumer resets the state at once, so it is watched
// closely: every millisecond, and in a tight loop where the silence rule can end the message.
// Empty reads return once a second; the first sets RX_SILENCE, and the silence of more than three
// whole seconds ends the message at the fourth after it (the third when the clock's second turns
// just then), so the loop turns only in windows around those.
std::optional<Completion> AwaitCompletion(const ReceiveContext& receive, Clock::time_point deadline) {
  const auto stateNow = [&] { return receive.state.load(std::memory_order_acquire); };
  while (stateNow() != RX_SILENCE) {
    if (Clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(1ms);
  }
  const auto silenceSeen = Clock::now();
  const auto inWindow = [&](Clock::time_point now) {
    const auto offset = now - silenceSeen;
    for (auto read : {3s, 4s, 5s}) {
      if (offset > read - 150ms && offset < read + 350ms) return true;
    }
    return false;
  };
  auto before = Clock::now();
  for (;;) {
    const int32_t state = stateNow();
    const auto now = Clock::now();
    if (state != RX_SILENCE) return Completion{before, now - before};
    if (now > deadline) return std::nullopt;
    before = now;
    if (inWindow(now)) {
      sched_yield();  // a woken worker of the module takes this CPU at once
    } else {
      std::this_thread::sleep_for(1ms);
    }
  }
}

void BM_OutboxHandOver(benchmark::State& state) {
  LabSession* lab = Session(state);
  if (!lab) return;
  const std::string connection = LabConnectionString();
  testing::TempDir dir;
  testing::PtyPair pty;
  host_app::HostOptions options;
  options.machineId = kModuleMachineId;
  options.name = "Strivex";
  options.localDb = (dir / "local.db").string();
  options.settings = {{"server", ConnectionValue(connection, "Server").value_or("")},
                      {"database", ConnectionValue(connection, "Database").value_or("")},
                      {"user", ConnectionValue(connection, "Uid").value_or("")}};
  options.password = ConnectionValue(connection, "Pwd").value_or("");
  options.port = pty.slavePath();
  std::vector<std::string> changes;
  std::string error;
  if (!host_app::PrepareLocalDatabase(options, changes, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const int64_t storedRows = state.range(0);
  if (storedRows > 0 && !FillStoredOutbox(dir / kOutboxFileName, storedRows, error)) {
    state.SkipWithError(("cannot fill the outbox: " + error).c_str());
    return;
  }
  // The module writes its logs and its outbox in the current directory.
  const testing::ScopedCurrentDir cwd(dir.path());
  const platform::MessageBoxRecorder boxes;
  HostRecordBuffer host(kModuleMachineId, options.name, options.localDb, 1);
  TimingView view;
  NoteOutboxResultsInserted();
  // Rows an interrupted run left would be counted with this run's.
  if (!lab->db.SQLCommand(Format("DELETE FROM lab_results WHERE machine_id=%d AND request_id BETWEEN %d AND %d",
                                 kModuleMachineId, kOutboxFirstRequestId, kOutboxLastRequestId),
                          0)) {
    state.SkipWithError(("cannot clear the reserved request ids: " + lab->db.LastErrorDetail()).c_str());
    return;
  }

  std::vector<double> total, toInterpreted, toListed, toStored, uncertainty;
  std::string failure;
  {
    ModuleCore core(host.record(), view);
    core.Initialize(0x5354);
    ReceiveContext& receive = *core.context().reception.receive();
    const auto ready = Clock::now() + 10s;
    while (!core.port().ReaderRunning() && Clock::now() < ready) std::this_thread::sleep_for(10ms);
    if (!core.port().IsOpen() || core.serverSession()->connected.load() != 1 || !core.port().ReaderRunning()) {
      failure = "the module did not start with its port and the server";
    }
    for (auto _ : state) {
      for (int i = 0; i < kHandOverMessages && failure.empty(); ++i) {
        const int32_t requestId = kOutboxFirstRequestId + i;
        view.Expect(requestId);
        pty.Write(ReportPage(requestId, static_cast<uint64_t>(i) + 1));
        const std::optional<Completion> completed = AwaitCompletion(receive, Clock::now() + 15s);
        if (!completed) {
          failure = Format("message %d did not complete", i);
          break;
        }
        const std::optional<TimingView::Times> times = view.WaitStored(20s);
        if (!times) {
          failure = Format("the results of message %d were not stored", i);
          break;
        }
        const std::optional<int> rows = QueryInt(
            lab->db,
            Format("SELECT count(*) AS n FROM lab_results WHERE machine_id=%d AND request_id=%d", kModuleMachineId,
                   requestId),
            "n");
        if (rows.value_or(0) != 12) {
          failure = Format("request %d has %d rows on the server, not 12", requestId, rows.value_or(-1));
          break;
        }
        total.push_back(Ms(times->stored - completed->at));
        toInterpreted.push_back(Ms(times->interpreted - completed->at));
        toListed.push_back(Ms(times->listed - times->interpreted));
        toStored.push_back(Ms(times->stored - times->listed));
        uncertainty.push_back(Ms(completed->uncertainty));
      }
      state.SetIterationTime(std::max(Percentile(total, 0.5), 0.0) / 1e3);
    }
    core.ShutdownModule();
  }
  if (failure.empty() && !boxes.Texts().empty()) failure = "message box: " + boxes.Texts().front();
  if (failure.empty() && !view.Notices().empty()) failure = "operator notice: " + view.Notices().front();
  if (!failure.empty()) {
    state.SkipWithError(failure.c_str());
    return;
  }
  state.counters["messages"] = static_cast<double>(total.size());
  state.counters["p50_ms"] = Percentile(total, 0.5);
  state.counters["p95_ms"] = Percentile(total, 0.95);
  state.counters["max_ms"] = Percentile(total, 1.0);
  // Where the median message spends it.
  state.counters["interpret_p50_ms"] = Percentile(toInterpreted, 0.5);
  state.counters["commit_list_p50_ms"] = Percentile(toListed, 0.5);
  state.counters["send_p50_ms"] = Percentile(toStored, 0.5);
  // The start is the last look that saw the message incomplete: the figures are upper bounds by
  // at most this much.
  state.counters["start_uncertainty_p50_ms"] = Percentile(uncertainty, 0.5);
  state.counters["start_uncertainty_max_ms"] = Percentile(uncertainty, 1.0);
}

// ---- idle --------------------------------------------------------------------------------------

struct ThreadCpu {
  std::string name;
  uint64_t ns = 0;              // on the CPU (schedstat)
  uint64_t switches = 0;        // voluntary context switches: wake-ups
};

struct ProcessCpu {
  uint64_t ticks = 0;  // utime + stime of /proc/PID/stat
  std::map<int, ThreadCpu> threads;
};

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<ProcessCpu> SampleCpu(pid_t pid) {
  const std::filesystem::path proc = "/proc/" + std::to_string(pid);
  const std::string stat = ReadText(proc / "stat");
  // Fields after the command name, which may hold spaces, in its parentheses.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 2));
  std::vector<std::string> after;
  for (std::string field; fields >> field;) after.push_back(field);
  if (after.size() < 13) return std::nullopt;
  ProcessCpu sample;
  // Fields 14 and 15 of the line (utime, stime) are the 12th and 13th after the name.
  sample.ticks = std::stoull(after[11]) + std::stoull(after[12]);
  std::error_code ignored;
  for (const auto& task : std::filesystem::directory_iterator(proc / "task", ignored)) {
    ThreadCpu thread;
    thread.name = ReadText(task.path() / "comm");
    if (!thread.name.empty() && thread.name.back() == '\n') thread.name.pop_back();
    std::istringstream(ReadText(task.path() / "schedstat")) >> thread.ns;
    std::istringstream status(ReadText(task.path() / "status"));
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) thread.switches = std::stoull(line.substr(24));
    }
    sample.threads[std::stoi(task.path().filename().string())] = thread;
  }
  return sample;
}

// The process's own and its children's (the database driver's helper process): what the module
// costs the machine while idle.
std::optional<ProcessCpu> SampleCpuWithChildren(pid_t pid) {
  std::optional<ProcessCpu> sample = SampleCpu(pid);
  if (!sample) return sample;
  for (const pid_t child : ChildPids(pid)) {
    if (const std::optional<ProcessCpu> own = SampleCpu(child)) {
      sample->ticks += own->ticks;
      sample->threads.insert(own->threads.begin(), own->threads.end());
    }
  }
  return sample;
}

void BM_IdleModuleCpu(benchmark::State& state) {
#ifndef STRIVEX_HOST_PATH
  state.SkipWithError("strivex-host is not built (STRIVEX_BUILD_UI=OFF)");
  return;
#else
  const int64_t storedRows = state.range(0);
  if (!Session(state)) return;  // the module works with the development server
  const std::string connection = LabConnectionString();
  testing::TempDir dir;
  testing::PtyPair pty;
  std::string error;
  if (storedRows > 0 && !FillStoredOutbox(dir / kOutboxFileName, storedRows, error)) {
    state.SkipWithError(("cannot fill the outbox: " + error).c_str());
    return;
  }
  // No window system: Qt's offscreen platform still runs the window's timers and paints.
  const char* platformBefore = std::getenv("QT_QPA_PLATFORM");
  const std::string saved = platformBefore ? platformBefore : "";
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  testing::BackgroundProcess hostProcess(
      STRIVEX_HOST_PATH,
      {"--allow-root", "--machine-id", std::to_string(kModuleMachineId), "--name", "Strivex", "--local-db",
       (dir / "local.db").string(),
       "--server", ConnectionValue(connection, "Server").value_or(""), "--database",
       ConnectionValue(connection, "Database").value_or(""), "--user", ConnectionValue(connection, "Uid").value_or(""),
       "--password", ConnectionValue(connection, "Pwd").value_or(""), "--port", pty.slavePath(), "--workdir",
       dir.path().string(), "--close-ends-module"});
  if (platformBefore) {
    setenv("QT_QPA_PLATFORM", saved.c_str(), 1);
  } else {
    unsetenv("QT_QPA_PLATFORM");
  }
  const bool started = hostProcess.WaitForOutput(
      [](const std::string& out) { return out.find("initialised") != std::string::npos; }, 30s);
  if (!started) {
    state.SkipWithError(("strivex-host did not start: " + hostProcess.err()).c_str());
    return;
  }
  std::this_thread::sleep_for(kIdleSettle);

  double percent = 0, wakeups = 0;
  std::optional<ProcessCpu> before, after;
  Clock::duration wall{};
  for (auto _ : state) {
    const auto start = Clock::now();
    before = SampleCpuWithChildren(hostProcess.pid());
    std::this_thread::sleep_for(kIdleTime);
    after = SampleCpuWithChildren(hostProcess.pid());
    wall = Clock::now() - start;
    state.SetIterationTime(std::chrono::duration<double>(wall).count());
  }
  const bool stillThere = hostProcess.WaitExit(0ms) == std::nullopt;
  hostProcess.Signal(SIGTERM);
  const testing::ProcessResult ended = hostProcess.Wait(30s);
  if (!before || !after || !stillThere) {
    state.SkipWithError(("strivex-host ended early: " + ended.err).c_str());
    return;
  }
  const double seconds = std::chrono::duration<double>(wall).count();
  const double cpuSeconds = static_cast<double>(after->ticks - before->ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  percent = 100 * cpuSeconds / seconds;

  // Per thread, from the scheduler's nanosecond account: where the idle time goes.
  std::vector<std::pair<double, std::string>> threads;
  uint64_t switches = 0;
  for (const auto& [tid, end] : after->threads) {
    const auto start = before->threads.find(tid);
    const ThreadCpu zero;
    const ThreadCpu& from = start == before->threads.end() ? zero : start->second;
    switches += end.switches - from.switches;
    threads.emplace_back(static_cast<double>(end.ns - from.ns) / 1e6,
                         Format("%s/%d %.1f ms, %.1f wake-ups/s", end.name.c_str(), tid,
                                static_cast<double>(end.ns - from.ns) / 1e6,
                                static_cast<double>(end.switches - from.switches) / seconds));
  }
  std::sort(threads.rbegin(), threads.rend());
  wakeups = static_cast<double>(switches) / seconds;
  idleDetails += Format("  idle, %lld stored results in the outbox: %.3f%% of one core; by thread:\n",
                        static_cast<long long>(storedRows), percent);
  for (const auto& [ms, text] : threads) idleDetails += "    " + text + "\n";

  state.counters["cpu_percent"] = percent;
  state.counters["cpu_ms"] = cpuSeconds * 1e3;
  state.counters["wakeups_per_s"] = wakeups;
  state.counters["threads"] = static_cast<double>(after->threads.size());
#endif
}

[[maybe_unused]] const bool registered = [] {
  // One pass of many messages: the figure is their distribution, not a mean of repetitions.
  // With a new outbox, and with one holding 30 days of a busy laboratory's results (about 280
  // samples a day), which the module keeps for audit.
  benchmark::RegisterBenchmark("BM_OutboxHandOver", BM_OutboxHandOver)
      ->ArgName("stored")
      ->Arg(0)
      ->Arg(kMonthOfResults)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_IdleModuleCpu", BM_IdleModuleCpu)
      ->ArgName("stored")
      ->Arg(0)
      ->Arg(kMonthOfResults)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);
  return true;
}();

}  // namespace

const std::string& IdleDetails() { return idleDetails; }

}  // namespace strivex::bench
