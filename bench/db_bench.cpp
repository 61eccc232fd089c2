// The laboratory database through the session, next to pgbench's floor for the same call: result
// inserts per second through SQLCommand, the same CALL through pgbench with one client, and rows
// per second read column by column from a 10,000-row work list. Needs the development server
// (STRIVEX_LAB_CONNSTR, as `eval "$(./run db env)"` sets it); without it these report an error and
// the other benchmarks run on.

#include "db_bench.h"

#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "util/format.h"

namespace {

// A machine id and a marker no one else uses, so the rows made here can be found and removed.
constexpr int kMachineId = 9001;
constexpr const char* kMarker = "strivex-bench";
constexpr int kWorkListRows = 10'000;
constexpr int kRowsPerInsert = 1'000;  // the most one VALUES list may hold on SQL Server
// How pgbench's server process is found, to put it on the benchmark's CPU; each run gets a name
// of its own, as the server process of the run before may still be on its way out.
constexpr const char* kPgbenchAppName = "strivex-bench-pgbench";
// Slots of the shared session: 0 for statements, 9 for the work list, 8 for looking things up.
constexpr int kLookupSlot = 8;

// Rounds of SQLCommand, pgbench and pgbench -M prepared in turn, and the length of each run.
constexpr int kRounds = 5;
constexpr int kRoundSeconds = 2;

std::string LabConnectionString() {
  const char* value = std::getenv("STRIVEX_LAB_CONNSTR");
  return value ? value : "";
}

// Client and server process on one CPU, for ours and for pgbench alike. Left to the scheduler,
// the server process lands on either CPU of a small machine, and a wake-up across CPUs more than
// doubles a local round trip (55 against 120 us here), so two runs of the same client would differ
// by a factor of two. On one CPU the round trip is at its shortest: the hardest floor to keep up
// with. While an object lives, the calling thread (and what it starts) keeps to that CPU.
class OneCpu {
 public:
  OneCpu() {
    if (sched_getaffinity(0, sizeof saved_, &saved_) != 0) return;
    const cpu_set_t one = Set();
    active_ = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~OneCpu() {
    if (active_) sched_setaffinity(0, sizeof saved_, &saved_);
  }
  OneCpu(const OneCpu&) = delete;
  OneCpu& operator=(const OneCpu&) = delete;

  // Puts another process (a server process) on the same CPU; false when not allowed.
  bool Pin(pid_t pid) const {
    if (!active_ || pid <= 0) return false;
    const cpu_set_t one = Set();
    return sched_setaffinity(pid, sizeof one, &one) == 0;
  }

  // Lets a process run wherever the calling thread may.
  static void Release(pid_t pid) {
    cpu_set_t mine;
    if (pid > 0 && sched_getaffinity(0, sizeof mine, &mine) == 0) {
      sched_setaffinity(pid, sizeof mine, &mine);
    }
  }

 private:
  // The same CPU for every benchmark of the run.
  static cpu_set_t Set() {
    static const int cpu = [] {
      const int current = sched_getcpu();
      return current >= 0 ? current : 0;
    }();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return one;
  }

  cpu_set_t saved_{};
  bool active_ = false;
};

// The "pid" column of a query's first row, or 0.
int ServerPid(strivex::BazaDeDate& db, const std::string& sql) {
  int value = 0;
  if (db.GetRecords(sql, kLookupSlot) && db.RowAvailable(kLookupSlot)) {
    value = db.ValoareColoana("pid", kLookupSlot).intVal;
  }
  db.InchidTabel(kLookupSlot);
  return value;
}

// The session all database benchmarks share (opening it is not what they measure), with the id
// of the server process that serves it; null with the benchmark skipped when there is no server.
struct LabSession {
  strivex::BazaDeDate db;
  pid_t serverPid = 0;
};

LabSession* Session(benchmark::State& state) {
  static std::unique_ptr<LabSession> session;
  static std::string failure;
  if (!session && failure.empty()) {
    const std::string connection = LabConnectionString();
    if (connection.empty()) {
      failure = "no STRIVEX_LAB_CONNSTR (eval \"$(./run db env)\")";
    } else {
      auto opened = std::make_unique<LabSession>();
      if (opened->db.DeschidConectie(connection, 1)) {
        opened->serverPid = ServerPid(opened->db, "SELECT pg_backend_pid() AS pid");
        session = std::move(opened);
      } else {
        failure = "cannot connect: " + opened->db.LastErrorDetail();
      }
    }
  }
  if (!session) state.SkipWithError(failure.c_str());
  return session.get();
}

bool workListReady = false;
bool resultsInserted = false;

void BM_SQLCommandResultInsert(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session) return;
  strivex::BazaDeDate* db = &session->db;
  const OneCpu cpu;
  const bool sameCpu = cpu.Pin(session->serverPid);
  resultsInserted = true;
  int request = 0;
  for (auto _ : state) {
    const std::string sql = strivex::Format(" exec L_RESULT_INSERT %d,%d,%d,%d,'%s','%s',1 ",
                                            ++request, kMachineId, 1, 3, "neg", kMarker);
    if (!db->SQLCommand(sql, 0)) {
      state.SkipWithError(("SQLCommand failed: " + db->LastErrorDetail()).c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["calls"] = static_cast<double>(state.iterations());
  state.counters["same_cpu"] = sameCpu ? 1 : 0;
}

// The values come from our own environment; quoted for the shell all the same.
std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// pgbench with one client and one thread sends the same CALL to the same database; its rate is
// what the server allows a single connection, the floor the session is held against.
void RunPgbench(benchmark::State& state, const char* protocol) {
  LabSession* session = Session(state);
  if (!session) return;
  strivex::BazaDeDate* db = &session->db;
  const std::string connection = LabConnectionString();
  const std::string database = strivex::ConnectionValue(connection, "Database").value_or("");
  const std::string user = strivex::ConnectionValue(connection, "Uid").value_or("");
  const std::string password = strivex::ConnectionValue(connection, "Pwd").value_or("");
  const char* port = std::getenv("PGPORT");
  const char* pgbench = std::getenv("STRIVEX_PGBENCH");

  char scriptPath[] = "/tmp/strivex-pgbench-XXXXXX";
  const int fd = mkstemp(scriptPath);
  if (fd < 0) {
    state.SkipWithError("cannot create the pgbench script");
    return;
  }
  const std::string script = strivex::Format(
      "\\set request random(1, 1000000)\n"
      "CALL L_RESULT_INSERT(:request, %d, 1, 3, 'neg', '%s', 1);\n",
      kMachineId, kMarker);
  const bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
  close(fd);

  static int runs = 0;
  const std::string appName = strivex::Format("%s-%d-%d", kPgbenchAppName, getpid(), ++runs);
  const std::string command = strivex::Format(
      "PGAPPNAME=%s PGPASSWORD=%s %s -n -c 1 -j 1 -T %d -M %s -h 127.0.0.1%s%s -U %s -f %s %s 2>&1",
      appName.c_str(), ShellQuoted(password).c_str(),
      pgbench ? ShellQuoted(pgbench).c_str() : "pgbench", kRoundSeconds, protocol,
      port ? " -p " : "", port ? ShellQuoted(port).c_str() : "", ShellQuoted(user).c_str(),
      scriptPath, ShellQuoted(database).c_str());
  const std::string findServer = strivex::Format(
      "SELECT pid FROM pg_stat_activity WHERE application_name = '%s' "
      "AND query LIKE 'CALL L_RESULT_INSERT%%'",
      appName.c_str());

  const OneCpu cpu;  // pgbench inherits it
  resultsInserted = true;
  double tps = 0;
  long transactions = 0;
  bool sameCpu = false;
  std::string output;
  if (written) {
    for (auto _ : state) {
      FILE* pipe = popen(command.c_str(), "r");
      if (!pipe) break;
      // pgbench's server process appears once it has connected, and it is the one that has run
      // the CALL: pgbench opens a connection of its own first. A few milliseconds of the run may
      // pass elsewhere.
      for (int attempt = 0; attempt < 500 && !sameCpu; ++attempt) {
        sameCpu = cpu.Pin(ServerPid(*db, findServer));
        if (!sameCpu) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      char line[512];
      while (std::fgets(line, sizeof line, pipe)) {
        output += line;
        std::sscanf(line, "tps = %lf", &tps);
        std::sscanf(line, "number of transactions actually processed: %ld", &transactions);
      }
      if (pclose(pipe) != 0) tps = 0;
      state.SetIterationTime(tps > 0 && transactions > 0 ? static_cast<double>(transactions) / tps : 1);
    }
  }
  unlink(scriptPath);
  if (tps <= 0 || transactions <= 0) {
    state.SkipWithError(("pgbench failed: " + output).c_str());
    return;
  }
  // One iteration is one pgbench run; the rate is per CALL, as pgbench counts it (without the
  // time to connect).
  state.counters["items_per_second"] =
      benchmark::Counter(static_cast<double>(transactions), benchmark::Counter::kIsRate);
  state.counters["calls"] = static_cast<double>(transactions);
  state.counters["same_cpu"] = sameCpu ? 1 : 0;
}

void BM_PgbenchCall(benchmark::State& state) { RunPgbench(state, "simple"); }
void BM_PgbenchCallPrepared(benchmark::State& state) { RunPgbench(state, "prepared"); }

// 10,000 work-list rows of the benchmark's own machine, made once for all runs of the reader.
bool EnsureWorkList(strivex::BazaDeDate& db, benchmark::State& state) {
  if (workListReady) return true;
  workListReady = true;  // whatever happens, the clean-up removes what got in
  db.SQLCommand(strivex::Format("DELETE FROM WORK_LIST WHERE MachineID=%d", kMachineId), 0);
  for (int first = 0; first < kWorkListRows; first += kRowsPerInsert) {
    std::string sql =
        "INSERT INTO WORK_LIST (RequestID, SampleCode, PacientName, AnalyseCode, RequestDate, "
        "MachineID) VALUES ";
    for (int i = first; i < first + kRowsPerInsert; ++i) {
      if (i != first) sql += ',';
      sql += strivex::Format("(%d,'B%07d','POPESCU ION %d','GLU','2024-05-17 08:30:00',%d)",
                             900'000 + i, i, i, kMachineId);
    }
    if (!db.SQLCommand(sql, 0)) {
      state.SkipWithError(("cannot fill the work list: " + db.LastErrorDetail()).c_str());
      return false;
    }
  }
  return true;
}

// Reading is the client's work, not round trips: the server prepares the whole selection while
// the driver takes it in, so here client and server process may use different CPUs.
void BM_ValoareColoanaWorkList(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session || !EnsureWorkList(session->db, state)) return;
  strivex::BazaDeDate* db = &session->db;
  OneCpu::Release(session->serverPid);
  static const std::string columns[] = {"RequestID",   "SampleCode",  "PacientName",
                                        "AnalyseCode", "RequestDate", "MachineID"};
  const std::string clause = strivex::Format("WHERE MachineID=%d order by [RequestID]", kMachineId);
  int64_t rows = 0;
  for (auto _ : state) {
    if (!db->DeschidTabel("WORK_LIST", clause, 9)) {
      state.SkipWithError(("DeschidTabel failed: " + db->LastErrorDetail()).c_str());
      break;
    }
    int64_t read = 0;
    do {
      for (const std::string& column : columns) {
        strivex::DbValue value = db->ValoareColoana(column, 9);
        benchmark::DoNotOptimize(value);
      }
      ++read;
    } while (db->NextElementTabel(9));
    db->InchidTabel(9);
    if (read != kWorkListRows) {
      state.SkipWithError("the selection does not hold 10,000 rows");
      break;
    }
    rows += read;
  }
  state.SetItemsProcessed(rows);
  state.counters["rows"] = kWorkListRows;
}

// Ours and pgbench's in turn, round after round, so load from elsewhere on the machine falls on
// both alike; the summary takes each one's median round.
[[maybe_unused]] const bool registered = [] {
  for (int round = 1; round <= kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    benchmark::RegisterBenchmark(("BM_SQLCommandResultInsert" + suffix).c_str(),
                                 BM_SQLCommandResultInsert)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(kRoundSeconds)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("BM_PgbenchCall" + suffix).c_str(), BM_PgbenchCall)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_PgbenchCallPrepared" + suffix).c_str(), BM_PgbenchCallPrepared)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("BM_ValoareColoanaWorkList", BM_ValoareColoanaWorkList)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(3.0)
      ->UseRealTime();
  return true;
}();

}  // namespace

void CleanUpDbBench() {
  if (!workListReady && !resultsInserted) return;
  const std::string connection = LabConnectionString();
  if (connection.empty()) return;
  // A session of its own: the shared one may be in any state after a failure.
  strivex::BazaDeDate db;
  if (!db.DeschidConectie(connection, 1)) return;
  bool cleaned =
      db.SQLCommand(strivex::Format("DELETE FROM WORK_LIST WHERE MachineID=%d", kMachineId), 0);
  cleaned = db.SQLCommand(strivex::Format("DELETE FROM lab_results WHERE machine_id=%d AND marker='%s'",
                                          kMachineId, kMarker),
                          0) &&
            cleaned;
  if (!cleaned) std::fprintf(stderr, "db bench: clean-up failed: %s\n", db.LastErrorDetail().c_str());
}
