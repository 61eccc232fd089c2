// Opening a session to the development server: the driver's process started and logged in,
// against the same driver logged in inside the calling process, alternated so that load from
// elsewhere falls on both alike. Percentiles of each, and their difference at p95.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "db/db_engine.h"
#include "db/odbc_engine.h"
#include "db/odbc_process_engine.h"
#include "lab_session.h"
#include "smoke.h"

namespace strivex::bench {
namespace {

const int kOpens = FullOrSmoke(60, 2);  // of each engine

double Percentile(std::vector<double> ms, double p) {
  if (ms.empty()) return -1;
  std::sort(ms.begin(), ms.end());
  return ms[std::min(ms.size() - 1, static_cast<size_t>(p * static_cast<double>(ms.size() - 1) + 0.5))];
}

// Milliseconds from Open's call to its return; a negative value when it failed.
double TimeOpen(DbEngine& engine, const std::string& connection, std::string& failure) {
  DbError error;
  const auto start = std::chrono::steady_clock::now();
  const bool opened = engine.Open(connection, DbTimeouts{}, error);
  const auto took = std::chrono::steady_clock::now() - start;
  engine.Close();
  if (!opened) {
    failure = error.detail;
    return -1;
  }
  return std::chrono::duration<double, std::milli>(took).count();
}

void BM_OpenSession(benchmark::State& state) {
  if (!Session(state)) return;
  const std::string connection = LabConnectionString();
  std::vector<double> inProcess, process;
  std::string failure;
  for (auto _ : state) {
    for (int i = 0; i < kOpens && failure.empty(); ++i) {
      // A new engine each time, as a reconnection makes one: the process engine starts its
      // helper in Open.
      const std::unique_ptr<DbEngine> direct = MakeOdbcEngine();
      const std::unique_ptr<DbEngine> spawned = MakeOdbcProcessEngine();
      const double a = TimeOpen(*direct, connection, failure);
      const double b = failure.empty() ? TimeOpen(*spawned, connection, failure) : -1;
      if (a >= 0 && b >= 0) {
        inProcess.push_back(a);
        process.push_back(b);
      }
    }
  }
  if (!failure.empty()) {
    state.SkipWithError(("cannot open a session: " + failure).c_str());
    return;
  }
  state.counters["in_process_p50_ms"] = Percentile(inProcess, 0.50);
  state.counters["in_process_p95_ms"] = Percentile(inProcess, 0.95);
  state.counters["process_p50_ms"] = Percentile(process, 0.50);
  state.counters["process_p95_ms"] = Percentile(process, 0.95);
  state.counters["opens"] = static_cast<double>(process.size());
}

[[maybe_unused]] const bool registered = [] {
  benchmark::RegisterBenchmark("BM_OpenSession", BM_OpenSession)->Iterations(1)->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace
}  // namespace strivex::bench
