// A 6 MB value read through medianex-relay: the session's driver process takes it from the server
// and sends it to the relay, whose result bound counts it there. Time of a read, and the peak
// resident memory (VmHWM) of the relay and of the session's driver process.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "lab_session.h"
#include "smoke.h"
#include "support/relay_server.h"
#include "util/format.h"

namespace strivex::bench {
namespace {

constexpr int kSlot = 1;

// The peak resident memory of a process in KiB; 0 when it cannot be read.
double PeakKiB(long pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::atof(line.c_str() + 6);
  }
  return 0;
}

void BM_LargeValueRelayed(benchmark::State& state) {
  testing::RelayServer relay{STRIVEX_MEDIANEX_RELAY_PATH};
  BazaDeDate db;
  db.serverAddress = relay.address();
  if (LabConnectionString().empty() || !relay.failure().empty() || !db.DeschidConectie(LabConnectionString(), 0)) {
    state.SkipWithError(("no relayed session: " + relay.failure() + relay.process().err()).c_str());
    return;
  }
  const std::string sql = Format("SELECT repeat('v', %d) AS v", FullOrSmoke(6'000'000, 60'000));
  for (auto _ : state) {
    if (!db.GetRecords(sql, kSlot)) {
      state.SkipWithError(("GetRecords failed: " + db.LastErrorDetail()).c_str());
      return;
    }
    db.InchidTabel(kSlot);
  }
  state.counters["relay_peak_KiB"] = PeakKiB(relay.process().pid());
  const std::vector<pid_t> drivers = ChildPids(relay.process().pid());  // the session's driver process
  state.counters["driver_peak_KiB"] = drivers.empty() ? 0 : PeakKiB(drivers.front());
  db.InchidConectie();
}

[[maybe_unused]] const bool registered = [] {
  MinTimeOrOnce(
      benchmark::RegisterBenchmark("BM_LargeValueRelayed", BM_LargeValueRelayed)->Unit(benchmark::kMillisecond)->UseRealTime(),
      3.0);
  return true;
}();

}  // namespace
}  // namespace strivex::bench
