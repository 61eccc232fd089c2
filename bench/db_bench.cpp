// Storing results through the session, next to pgbench's floor for the same call: result inserts
// per second through SQLCommand and the same CALL through pgbench with one client.

#include <benchmark/benchmark.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "lab_session.h"
#include "one_cpu.h"
#include "smoke.h"
#include "util/format.h"

namespace strivex::bench {
namespace {

// How pgbench's server process is found, to put it on the benchmark's CPU; each run gets a name
// of its own, as the server process of the run before may still be on its way out.
constexpr const char* kPgbenchAppName = "strivex-bench-pgbench";
// Rounds of SQLCommand, pgbench and pgbench -M prepared in turn, and the length of each run.
const int kRounds = FullOrSmoke(5, 1);
const int kRoundSeconds = FullOrSmoke(2, 1);  // pgbench -T counts whole seconds

void BM_SQLCommandResultInsert(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session) return;
  strivex::BazaDeDate* db = &session->db;
  const OneCpu cpu;
  // The session's driver process too: every call passes through it.
  bool sameCpu = cpu.Pin(session->serverPid);
  for (const pid_t driver : ChildPids(getpid())) sameCpu = cpu.Pin(driver) && sameCpu;
  NoteResultsInserted();
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
  NoteResultsInserted();
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

// Ours and pgbench's in turn, round after round, so load from elsewhere on the machine falls on
// both alike; the summary takes each one's median round.
[[maybe_unused]] const bool registered = [] {
  for (int round = 1; round <= kRounds; ++round) {
    const std::string suffix = "/round:" + std::to_string(round);
    MinTimeOrOnce(benchmark::RegisterBenchmark(("BM_SQLCommandResultInsert" + suffix).c_str(),
                                               BM_SQLCommandResultInsert)
                      ->Unit(benchmark::kMicrosecond)
                      ->UseRealTime(),
                  kRoundSeconds);
    benchmark::RegisterBenchmark(("BM_PgbenchCall" + suffix).c_str(), BM_PgbenchCall)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_PgbenchCallPrepared" + suffix).c_str(), BM_PgbenchCallPrepared)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
}  // namespace strivex::bench
