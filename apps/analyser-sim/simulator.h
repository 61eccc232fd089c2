#pragma once
// One session of the simulated analyser: open the line, send the reports with silence after
// each, show the frames the module sends back, and end as the options ask.

#include "options.h"
#include "program_output.h"

namespace strivex::sim {

// The simulator's exit statuses.
inline constexpr int kExitOk = app::kExitOk;
inline constexpr int kExitNotReceived = app::kExitFailed;  // frames missing at the time-out, or a write failed
inline constexpr int kExitFailure = app::kExitUsage;       // usage, report files, the device

// Must run before any other thread starts (it takes over SIGINT and SIGTERM).
int RunSimulator(const SimOptions& options);

}  // namespace strivex::sim
