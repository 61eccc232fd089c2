// Runs the benchmarks and adds the summary the tables of docs/performance.md are filled from.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "lab_session.h"
#include "module_bench.h"
#include "smoke.h"

namespace {

// Console output as usual, plus each benchmark's byte and item rates for the summary.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  using Rates = std::map<std::string, std::vector<double>>;

  // Colours only for a terminal, so a saved run reads as plain text.
  RateReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) failed_.push_back(run.benchmark_name() + ": " + run.error_message);
      // Means and medians of --benchmark_repetitions are not runs of their own.
      if (run.error_occurred || run.run_type == Run::RT_Aggregate) continue;
      // By the name it was registered with, without /min_time:... and the like.
      const std::string& name = run.run_name.function_name;
      const auto bytes = run.counters.find("bytes_per_second");
      if (bytes != run.counters.end()) bytes_[name].push_back(bytes->second.value / 1e6);
      const auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) items_[name].push_back(items->second.value);
      const auto calls = run.counters.find("calls_per_second");
      if (calls != run.counters.end()) calls_[name].push_back(calls->second.value);
      // With the arguments ("NAME/stored:0"), as variants of one benchmark differ in them.
      const std::string variant = run.run_name.args.empty() ? name : name + "/" + run.run_name.args;
      for (const auto& [counter, value] : run.counters) counters_[variant + ":" + counter].push_back(value.value);
    }
  }
  // MB/s, items/s and calls/s of every run, by benchmark name.
  const Rates& bytes() const { return bytes_; }
  const Rates& items() const { return items_; }
  const Rates& calls() const { return calls_; }
  // Every counter of every run, by "benchmark name:counter".
  const Rates& counters() const { return counters_; }
  // "NAME: error" of every run that reported an error.
  const std::vector<std::string>& failed() const { return failed_; }

 private:
  std::vector<std::string> failed_;
  Rates bytes_;
  Rates items_;
  Rates calls_;
  Rates counters_;
};

// The median rate of a benchmark over its runs and rounds ("NAME" or "NAME/round:N"), or a
// negative value when it did not run or failed. The median, as a single round can be off by a
// third either way while other work shares the machine.
double MedianRate(const RateReporter::Rates& rates, const std::string& name) {
  std::vector<double> found;
  for (const auto& [key, runs] : rates) {
    if (key == name || key.rfind(name + "/", 0) == 0) found.insert(found.end(), runs.begin(), runs.end());
  }
  if (found.empty()) return -1;
  std::sort(found.begin(), found.end());
  const size_t middle = found.size() / 2;
  return found.size() % 2 == 1 ? found[middle] : (found[middle - 1] + found[middle]) / 2;
}

void PrintInterpreterSummary(const RateReporter& reporter) {
  const double interpreter = MedianRate(reporter.bytes(), "BM_Interpret");
  const double floor = MedianRate(reporter.bytes(), "BM_MemchrLineCount");
  if (interpreter < 0 || floor <= 0) return;
  std::printf("\nSummary (10 MB report, 10,000 samples x 12 results):\n");
  std::printf("  interpreter         %8.1f MB/s\n", interpreter);
  std::printf("  memchr line count   %8.1f MB/s\n", floor);
  std::printf("  ratio               %8.3f (interpreter / memchr)\n", interpreter / floor);
}

std::string Figure(double rate) {
  char text[32] = "      n/a";
  if (rate >= 0) std::snprintf(text, sizeof text, "%9.0f", rate);
  return text;
}

void PrintDatabaseSummary(const RateReporter& reporter) {
  const double ours = MedianRate(reporter.items(), "BM_SQLCommandResultInsert");
  const double pgbench = MedianRate(reporter.items(), "BM_PgbenchCall");
  const double prepared = MedianRate(reporter.items(), "BM_PgbenchCallPrepared");
  const double rows = MedianRate(reporter.items(), "BM_ValoareColoanaWorkList");
  if (ours < 0 && pgbench < 0 && prepared < 0 && rows < 0) return;
  std::printf("\nSummary (laboratory database, one connection, median of the rounds):\n");
  std::printf("  SQLCommand exec L_RESULT_INSERT    %s calls/s\n", Figure(ours).c_str());
  std::printf("  pgbench CALL (simple query)        %s calls/s\n", Figure(pgbench).c_str());
  std::printf("  pgbench CALL (-M prepared)         %s calls/s\n", Figure(prepared).c_str());
  if (ours >= 0 && pgbench > 0) {
    std::printf("  ratio                              %9.3f (SQLCommand / pgbench simple query;"
                " target >= 0.70)\n",
                ours / pgbench);
  } else {
    std::printf("  ratio                                    n/a\n");
  }
  std::printf("  ValoareColoana + NextElementTabel  %s rows/s (6 columns, 10,000-row WORK_LIST)\n",
              Figure(rows).c_str());
}

// The same work-list reading directly and through medianex-relay, in ValoareColoana calls.
void PrintRelaySummary(const RateReporter& reporter) {
  const double direct = MedianRate(reporter.calls(), "BM_ValoareColoanaWorkList");
  const double relayed = MedianRate(reporter.calls(), "BM_ValoareColoanaWorkListRelayed");
  const double pingPong = MedianRate(reporter.calls(), "BM_LoopbackPingPong");
  if (direct < 0 && relayed < 0) return;
  std::printf("\nSummary (ValoareColoana over the 10,000-row WORK_LIST, 6 columns a row):\n");
  std::printf("  direct (ODBC)                      %s calls/s\n", Figure(direct).c_str());
  std::printf("  relayed (medianex-relay, loopback) %s calls/s\n", Figure(relayed).c_str());
  if (direct > 0 && relayed >= 0) {
    std::printf("  ratio                              %9.4f (relayed / direct; target >= 0.333)\n",
                relayed / direct);
  }
  std::printf("  loopback ping-pong, same bytes     %s calls/s (two processes on one CPU)\n", Figure(pingPong).c_str());
  if (pingPong > 0 && relayed >= 0) {
    std::printf("  ratio                              %9.3f (relayed / ping-pong; target >= 0.45)\n",
                relayed / pingPong);
  }
}

// Opening a session: the driver's process started and logged in, against a login in-process.
void PrintSessionOpenSummary(const RateReporter& reporter) {
  const auto counter = [&](const char* which) {
    const auto found = reporter.counters().find(std::string("BM_OpenSession:") + which);
    return found == reporter.counters().end() || found->second.empty() ? -1.0 : found->second.back();
  };
  if (counter("opens") <= 0) return;
  std::printf("\nSummary (opening a session, %.0f of each, alternated):\n", counter("opens"));
  std::printf("  driver in its own process          p50 %6.2f ms, p95 %6.2f ms\n", counter("process_p50_ms"),
              counter("process_p95_ms"));
  std::printf("  driver in the calling process      p50 %6.2f ms, p95 %6.2f ms\n", counter("in_process_p50_ms"),
              counter("in_process_p95_ms"));
  std::printf("  difference at p95                  %+6.2f ms\n", counter("process_p95_ms") - counter("in_process_p95_ms"));
}

// The outbox's figures: commit cost, hand-over latency, backlog drain against the direct rate,
// idle CPU, each with a new outbox and with one holding a month of stored results.
void PrintOutboxSummary(const RateReporter& reporter) {
  const auto counter = [&](const std::string& name, const std::string& which) {
    const auto found = reporter.counters().find(name + ":" + which);
    return found == reporter.counters().end() || found->second.empty() ? -1.0 : found->second.back();
  };
  const double commits = MedianRate(reporter.items(), "BM_OutboxAddMessage");
  const double drain = MedianRate(reporter.items(), "BM_OutboxDrain");
  const double direct = MedianRate(reporter.items(), "BM_OutboxDirectInsert");
  const char* const outboxes[] = {"stored:0", "stored:100000"};
  const char* const outboxNames[] = {"new outbox", "100,000 stored results kept"};
  bool any = commits >= 0 || drain >= 0 || direct >= 0 || MedianRate(reporter.items(), "BM_OutboxMarkStored") >= 0;
  for (const char* outbox : outboxes) {
    any = any || counter(std::string("BM_OutboxHandOver/") + outbox, "p50_ms") >= 0 ||
          counter(std::string("BM_IdleModuleCpu/") + outbox, "cpu_percent") >= 0;
  }
  if (!any) return;
  std::printf("\nSummary (result outbox):\n");
  if (commits > 0) {
    std::printf("  AddMessage, 12 results, fsynced    %9.0f messages/s (%.2f ms per message)\n", commits,
                1e3 / commits);
  }
  for (int i = 0; i < 2; ++i) {
    const std::string name = std::string("BM_OutboxHandOver/") + outboxes[i];
    if (counter(name, "p50_ms") < 0) continue;
    std::printf("  hand-over, RX_COMPLETE to stored, %s: p50 %.1f ms, p95 %.1f ms, max %.1f ms, %.0f messages"
                " (target p95 < 50 ms)\n",
                outboxNames[i], counter(name, "p50_ms"), counter(name, "p95_ms"), counter(name, "max_ms"),
                counter(name, "messages"));
    std::printf("    medians: interpreted %.2f ms, committed and listed %.2f ms later, stored %.2f ms later;"
                " start known within %.3f ms (median), %.3f ms (worst)\n",
                counter(name, "interpret_p50_ms"), counter(name, "commit_list_p50_ms"), counter(name, "send_p50_ms"),
                counter(name, "start_uncertainty_p50_ms"), counter(name, "start_uncertainty_max_ms"));
  }
  if (drain >= 0 || direct >= 0) {
    std::printf("  DrainOutbox, 10,000 results        %s results/s\n", Figure(drain).c_str());
    std::printf("  SQLCommand, the same statements    %s results/s\n", Figure(direct).c_str());
    if (drain >= 0 && direct > 0) {
      std::printf("  ratio                              %9.3f (drain / direct; target >= 0.70)\n", drain / direct);
    }
  }
  const double mark = MedianRate(reporter.items(), "BM_OutboxMarkStored");
  if (mark > 0) {
    std::printf("  MarkStored alone                   %9.1f us per result\n", 1e6 / mark);
    for (const char* batch : {"1", "12", "200"}) {
      const double rate = counter(std::string("BM_OutboxMarkStoredPreparedOnce/per_transaction:") + batch,
                                  "items_per_second");
      if (rate > 0) {
        std::printf("    statement prepared once, %3s a transaction %6.1f us per result\n", batch, 1e6 / rate);
      }
    }
  }
  for (int i = 0; i < 2; ++i) {
    const std::string name = std::string("BM_IdleModuleCpu/") + outboxes[i];
    if (counter(name, "cpu_percent") < 0) continue;
    std::printf("  idle strivex-host, %s: %.2f %% of one core, %.1f wake-ups/s (target < 1 %%)\n", outboxNames[i],
                counter(name, "cpu_percent"), counter(name, "wakeups_per_s"));
  }
  std::printf("%s", strivex::bench::IdleDetails().c_str());
}

// The window thread's worst stalls while the server keeps something waiting.
void PrintWindowSummary(const RateReporter& reporter) {
  bool header = false;
  for (const char* which : {"dialog_login", "reconnection", "frozen_server"}) {
    const std::string name = std::string("BM_WindowStall/") + which;
    const auto p99 = reporter.counters().find(name + ":p99_ms");
    const auto worst = reporter.counters().find(name + ":max_ms");
    if (p99 == reporter.counters().end() || worst == reporter.counters().end()) continue;
    if (!header) std::printf("\nSummary (window thread's stalls, 5 ms timer; target p99 < 50 ms, max < 200 ms):\n");
    header = true;
    std::printf("  %-22s p99 %6.1f ms, max %6.1f ms", which, p99->second.back(), worst->second.back());
    // The module's stop while the server is frozen (target: the login time-out plus 2 s).
    if (const auto stop = reporter.counters().find(name + ":stop_ms"); stop != reporter.counters().end()) {
      std::printf(", stop %6.0f ms", stop->second.back());
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  CleanUpDbBench();

  PrintInterpreterSummary(reporter);
  PrintDatabaseSummary(reporter);
  PrintRelaySummary(reporter);
  PrintSessionOpenSummary(reporter);
  PrintOutboxSummary(reporter);
  PrintWindowSummary(reporter);

  if (!reporter.failed().empty()) {
    std::printf("\n%zu benchmark run(s) reported an error:\n", reporter.failed().size());
    for (const std::string& failure : reporter.failed()) std::printf("  %s\n", failure.c_str());
  }
  if (strivex::bench::Smoke()) {
    // Only that each benchmark ran to its end counts here.
    std::printf("\nSmoke run (small sizes, figures mean nothing): %s\n",
                reporter.failed().empty() ? "every benchmark ran to its end" : "FAILED");
    return reporter.failed().empty() ? 0 : 1;
  }
  return 0;
}
