#pragma once
// What the database benchmarks share: the development server's session, the rows they make there
// and their clean-up. Needs STRIVEX_LAB_CONNSTR (as `eval "$(./run db env)"` sets it); without it
// the database benchmarks report an error and the others run on.

#include <benchmark/benchmark.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "smoke.h"

namespace strivex::bench {

// A machine id and a marker no one else uses, so the rows made here can be found and removed.
inline constexpr int kMachineId = 9001;
inline constexpr const char* kMarker = "strivex-bench";
inline const int kWorkListRows = FullOrSmoke(10'000, 1'000);

std::string LabConnectionString();

// The `column` of a query's first row; nothing when the query fails or finds no row.
std::optional<int> QueryInt(BazaDeDate& db, const std::string& sql, const char* column);

// The "pid" column of a query's first row, or 0.
int ServerPid(BazaDeDate& db, const std::string& sql);

// The processes `pid` started that still run: a session's driver processes.
std::vector<pid_t> ChildPids(pid_t pid);

// The direct session all database benchmarks share (opening it is not what they measure), with
// the id of the server process that serves it.
struct LabSession {
  BazaDeDate db;
  pid_t serverPid = 0;
};

// Null, with the benchmark skipped, when there is no server.
LabSession* Session(benchmark::State& state);

// To be called before a benchmark stores results, so the clean-up looks for them.
void NoteResultsInserted();

// The kWorkListRows work-list rows of the benchmark's own machine, made once for all benchmarks;
// false, with the benchmark skipped, when they cannot be made.
bool EnsureWorkList(BazaDeDate& db, benchmark::State& state);

}  // namespace strivex::bench

// Deletes the work-list rows and stored results the database benchmarks made (nothing when they
// did not run).
void CleanUpDbBench();
