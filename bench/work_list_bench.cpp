// Reading the 10,000-row work list value by value, as the work-list dialog does: through the
// direct session, and through a relayed session with medianex-relay on loopback in front of the
// same server. Relayed, every ValoareColoana and NextElementTabel is a round trip to the relay.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "db/baza_de_date.h"
#include "lab_session.h"
#include "one_cpu.h"
#include "support/relay_server.h"
#include "util/format.h"

namespace strivex::bench {
namespace {

constexpr int kWorkListSlot = 9;
constexpr const char* kColumns[] = {"RequestID",   "SampleCode",  "PacientName",
                                    "AnalyseCode", "RequestDate", "MachineID"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

// medianex-relay on a free loopback port, with a relayed session through it.
struct RelayedSession {
  testing::RelayServer relay{STRIVEX_MEDIANEX_RELAY_PATH};
  BazaDeDate db;

  ~RelayedSession() { db.InchidConectie(); }
};

// Relay and client on one CPU: each call is a round trip, and a wake-up across CPUs costs more
// than the work at either end. The relay's threads and the client's reader inherit the pinning.
RelayedSession* Relayed(benchmark::State& state) {
  static std::unique_ptr<RelayedSession> session;
  static std::string failure;
  if (!session && failure.empty()) {
    auto opened = std::make_unique<RelayedSession>();
    failure = LabConnectionString().empty() ? "no STRIVEX_LAB_CONNSTR" : opened->relay.failure();
    opened->db.serverAddress = opened->relay.address();
    const OneCpu cpu;
    if (failure.empty() && !cpu.Pin(opened->relay.process().pid()))
      failure = "cannot put medianex-relay on the benchmark's CPU";
    if (failure.empty() && !opened->db.DeschidConectie(LabConnectionString(), 0))
      failure = "cannot connect through medianex-relay: " + opened->relay.process().err();
    if (failure.empty()) session = std::move(opened);
  }
  if (!session) state.SkipWithError(failure.c_str());
  return session.get();
}

// One pass over the selection, every column of every row; the rows read, or -1 on failure.
int64_t ReadWorkList(BazaDeDate& db) {
  const std::string clause = Format("WHERE MachineID=%d order by [RequestID]", kMachineId);
  if (!db.DeschidTabel("WORK_LIST", clause, kWorkListSlot)) return -1;
  int64_t rows = 0;
  do {
    for (const char* column : kColumns) {
      DbValue value = db.ValoareColoana(column, kWorkListSlot);
      benchmark::DoNotOptimize(value);
    }
    ++rows;
  } while (db.NextElementTabel(kWorkListSlot));
  db.InchidTabel(kWorkListSlot);
  return rows;
}

void RunWorkList(benchmark::State& state, BazaDeDate& db) {
  int64_t rows = 0;
  for (auto _ : state) {
    const int64_t read = ReadWorkList(db);
    if (read != kWorkListRows) {
      const std::string why = read < 0 ? "DeschidTabel failed: " + db.LastErrorDetail()
                                       : Format("the selection holds %lld rows, not %d",
                                                static_cast<long long>(read), kWorkListRows);
      state.SkipWithError(why.c_str());
      return;
    }
    rows += read;
  }
  state.SetItemsProcessed(rows);
  state.counters["calls_per_second"] =
      benchmark::Counter(static_cast<double>(rows * kColumnCount), benchmark::Counter::kIsRate);
}

// Reading is the client's work, not round trips: the server prepares the whole selection while
// the driver takes it in, so here client and server process may use different CPUs.
void BM_ValoareColoanaWorkList(benchmark::State& state) {
  LabSession* session = Session(state);
  if (!session || !EnsureWorkList(session->db, state)) return;
  OneCpu::Release(session->serverPid);
  RunWorkList(state, session->db);
}

void BM_ValoareColoanaWorkListRelayed(benchmark::State& state) {
  LabSession* direct = Session(state);
  if (!direct || !EnsureWorkList(direct->db, state)) return;
  RelayedSession* relayed = Relayed(state);
  if (!relayed) return;
  const OneCpu cpu;
  RunWorkList(state, relayed->db);
}

[[maybe_unused]] const bool registered = [] {
  MinTimeOrOnce(benchmark::RegisterBenchmark("BM_ValoareColoanaWorkList", BM_ValoareColoanaWorkList)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime(),
                3.0);
  MinTimeOrOnce(benchmark::RegisterBenchmark("BM_ValoareColoanaWorkListRelayed", BM_ValoareColoanaWorkListRelayed)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime(),
                3.0);
  return true;
}();

}  // namespace
}  // namespace strivex::bench
