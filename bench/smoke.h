#pragma once
// The smoke run (`./run bench --smoke`, STRIVEX_BENCH_SMOKE=1): every benchmark once, on small
// sizes and short waits, to show that each still runs to its end. Its figures mean nothing.
// Benchmarks register before main, so each reads this where it picks its sizes.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string_view>

namespace strivex::bench {

inline bool Smoke() {
  static const bool smoke = [] {
    const char* value = std::getenv("STRIVEX_BENCH_SMOKE");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
  }();
  return smoke;
}

// The full run's figure, or the smoke run's.
template <class T>
T FullOrSmoke(T full, T smoke) {
  return Smoke() ? smoke : full;
}

// Measured for at least `seconds` (Google Benchmark's own default when 0) in the full run; one
// iteration in the smoke run.
inline benchmark::internal::Benchmark* MinTimeOrOnce(benchmark::internal::Benchmark* b, double seconds = 0) {
  if (Smoke()) return b->Iterations(1);
  return seconds > 0 ? b->MinTime(seconds) : b;
}

}  // namespace strivex::bench
