#pragma once
// Builds analyser reports: a printed page per sample with a header, the identifier line and a
// dashed block of measured parameters. The benchmark takes a large fixed report; the simulator
// takes one page at a time with sample ids and values drawn from a seeded generator.

#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>

namespace strivex::sim {

// `samples` pages with ids 100000, 100001, ... and the same values on every page; the same
// arguments always give the same bytes.
std::string GenerateReport(int samples, int resultsPerSample);

// One generated page and the sample id printed on it.
struct GeneratedReport {
  int32_t sampleId = 0;
  std::string text;
};

// Pages of one sample each: ids in 1..999999, never repeated within one generator, and a
// plausible value for each of the 12 strip parameters. One seed gives one sequence.
class ReportGenerator {
 public:
  explicit ReportGenerator(uint64_t seed);

  // The next page of the sequence.
  GeneratedReport Next();

 private:
  std::mt19937_64 random_;
  std::unordered_set<int32_t> usedIds_;
  int pages_ = 0;
};

}  // namespace strivex::sim
