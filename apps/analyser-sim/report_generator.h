#pragma once
// Builds analyser reports of a chosen size for benchmarks: a printed page per sample with a
// header, the identifier line and a dashed block of measured parameters.

#include <string>

namespace strivex::bench {

std::string GenerateReport(int samples, int resultsPerSample);

}  // namespace strivex::bench
