#pragma once
// What the module benchmarks add to the summary beyond their counters.

#include <string>

namespace strivex::bench {

// The idle benchmark's CPU time per thread of strivex-host, one line each.
const std::string& IdleDetails();

}  // namespace strivex::bench
