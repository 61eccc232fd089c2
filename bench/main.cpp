// Runs the benchmarks and adds the summary the README's table is filled from.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// Console output as usual, plus each benchmark's byte rate for the summary.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end() && !run.error_occurred) {
        rates_[run.benchmark_name()] = rate->second.value / 1e6;
      }
    }
  }
  const std::map<std::string, double>& rates() const { return rates_; }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& rates = reporter.rates();
  const auto interpreter = rates.find("BM_Interpret");
  const auto floor = rates.find("BM_MemchrLineCount");
  if (interpreter != rates.end() && floor != rates.end() && floor->second > 0) {
    std::printf("\nSummary (10 MB report, 10,000 samples x 12 results):\n");
    std::printf("  interpreter         %8.1f MB/s\n", interpreter->second);
    std::printf("  memchr line count   %8.1f MB/s\n", floor->second);
    std::printf("  ratio               %8.3f (interpreter / memchr)\n",
                interpreter->second / floor->second);
  }
  return 0;
}
