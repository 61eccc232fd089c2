// Runs the benchmarks and adds the summary the README's tables are filled from.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "lab_session.h"

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
    }
  }
  // MB/s, items/s and calls/s of every run, by benchmark name.
  const Rates& bytes() const { return bytes_; }
  const Rates& items() const { return items_; }
  const Rates& calls() const { return calls_; }

 private:
  Rates bytes_;
  Rates items_;
  Rates calls_;
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
  if (direct < 0 && relayed < 0) return;
  std::printf("\nSummary (ValoareColoana over the 10,000-row WORK_LIST, 6 columns a row):\n");
  std::printf("  direct (ODBC)                      %s calls/s\n", Figure(direct).c_str());
  std::printf("  relayed (medianex-relay, loopback) %s calls/s\n", Figure(relayed).c_str());
  if (direct > 0 && relayed >= 0) {
    std::printf("  ratio                              %9.4f (relayed / direct; target >= 0.333)\n",
                relayed / direct);
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
  return 0;
}
