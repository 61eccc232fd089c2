// Interpreter throughput against the floor of any line parser: one memchr per line.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "protocol/strivex_interpretor.h"
#include "report_generator.h"
#include "smoke.h"

namespace {

constexpr int kSamples = 10'000;
constexpr int kResultsPerSample = 12;

const std::string& Report() {
  static const std::string report = strivex::sim::GenerateReport(kSamples, kResultsPerSample);
  return report;
}

void BM_Interpret(benchmark::State& state) {
  const std::string& report = Report();
  const strivex::TranslationList translations = {{"neg", "negativ"}, {"norm", "normal"}};
  for (auto _ : state) {
    strivex::StrivexInterpretor interpretor;
    const auto found = interpretor.Interpret(report, 0, 0, translations);
    benchmark::DoNotOptimize(found);
    // Freeing the samples belongs to whoever takes them over, later and on another thread.
    state.PauseTiming();
    if (interpretor.Samples().size() != kSamples) state.SkipWithError("wrong sample count");
    interpretor.TakeSamples();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(report.size()));
  state.counters["report_MB"] = static_cast<double>(report.size()) / 1e6;
}
BENCHMARK(BM_Interpret)
    ->Unit(benchmark::kMillisecond)
    ->Apply([](benchmark::internal::Benchmark* b) { strivex::bench::MinTimeOrOnce(b); });

void BM_MemchrLineCount(benchmark::State& state) {
  const std::string& report = Report();
  for (auto _ : state) {
    size_t lines = 0;
    const char* p = report.data();
    const char* end = p + report.size();
    while (const void* cr = std::memchr(p, '\r', static_cast<size_t>(end - p))) {
      ++lines;
      p = static_cast<const char*>(cr) + 1;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(report.size()));
}
BENCHMARK(BM_MemchrLineCount)
    ->Unit(benchmark::kMillisecond)
    ->Apply([](benchmark::internal::Benchmark* b) { strivex::bench::MinTimeOrOnce(b); });

}  // namespace
