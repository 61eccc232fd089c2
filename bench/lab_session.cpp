#include "lab_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "outbox_messages.h"
#include "util/format.h"

namespace strivex::bench {

namespace {

constexpr int kRowsPerInsert = 1'000;  // the most one VALUES list may hold on SQL Server
// Slots of the shared session: 0 for statements, 9 for the work list, 8 for looking things up.
constexpr int kLookupSlot = 8;

bool workListReady = false;
bool resultsInserted = false;

}  // namespace

std::string LabConnectionString() {
  const char* value = std::getenv("STRIVEX_LAB_CONNSTR");
  return value ? value : "";
}

std::optional<int> QueryInt(BazaDeDate& db, const std::string& sql, const char* column) {
  std::optional<int> value;
  if (db.GetRecords(sql, kLookupSlot) && db.RowAvailable(kLookupSlot))
    value = db.ValoareColoana(column, kLookupSlot).intVal;
  db.InchidTabel(kLookupSlot);
  return value;
}

int ServerPid(BazaDeDate& db, const std::string& sql) { return QueryInt(db, sql, "pid").value_or(0); }

std::vector<pid_t> ChildPids(pid_t pid) {
  std::vector<pid_t> children;
  std::error_code ignored;
  // Each thread lists the children it started, and a process may start them from any thread.
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ignored)) {
    std::ifstream listed(task.path() / "children");
    for (pid_t child = 0; listed >> child;) children.push_back(child);
  }
  return children;
}

LabSession* Session(benchmark::State& state) {
  static std::unique_ptr<LabSession> session;
  static std::string failure;
  if (!session && failure.empty()) {
    const std::string connection = LabConnectionString();
    if (connection.empty()) {
      failure = "no STRIVEX_LAB_CONNSTR (eval \"$(./run db env)\")";
    } else {
      auto opened = std::make_unique<LabSession>();
      if (opened->db.DeschidConectie(connection, 1)) {
        opened->serverPid = ServerPid(opened->db, "SELECT pg_backend_pid() AS pid");
        session = std::move(opened);
      } else {
        failure = "cannot connect: " + opened->db.LastErrorDetail();
      }
    }
  }
  if (!session) state.SkipWithError(failure.c_str());
  return session.get();
}

void NoteResultsInserted() { resultsInserted = true; }

bool EnsureWorkList(BazaDeDate& db, benchmark::State& state) {
  if (workListReady) return true;
  workListReady = true;  // whatever happens, the clean-up removes what got in
  db.SQLCommand(Format("DELETE FROM WORK_LIST WHERE MachineID=%d", kMachineId), 0);
  for (int first = 0; first < kWorkListRows; first += kRowsPerInsert) {
    std::string sql =
        "INSERT INTO WORK_LIST (RequestID, SampleCode, PacientName, AnalyseCode, RequestDate, "
        "MachineID) VALUES ";
    for (int i = first; i < std::min(first + kRowsPerInsert, kWorkListRows); ++i) {
      if (i != first) sql += ',';
      sql += Format("(%d,'B%07d','POPESCU ION %d','GLU','2024-05-17 08:30:00',%d)", 900'000 + i, i,
                    i, kMachineId);
    }
    if (!db.SQLCommand(sql, 0)) {
      state.SkipWithError(("cannot fill the work list: " + db.LastErrorDetail()).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace strivex::bench

void CleanUpDbBench() {
  using namespace strivex;
  using namespace strivex::bench;
  if (!workListReady && !resultsInserted && !OutboxResultsInserted()) return;
  const std::string connection = LabConnectionString();
  if (connection.empty()) return;
  // A session of its own: the shared one may be in any state after a failure.
  BazaDeDate db;
  if (!db.DeschidConectie(connection, 1)) return;
  bool cleaned = db.SQLCommand(Format("DELETE FROM WORK_LIST WHERE MachineID=%d", kMachineId), 0);
  cleaned = db.SQLCommand(Format("DELETE FROM lab_results WHERE machine_id=%d AND marker='%s'",
                                 kMachineId, kMarker),
                          0) &&
            cleaned;
  // The outbox benchmarks' request ids, on the module's machine and on the benchmarks' own.
  cleaned = db.SQLCommand(Format("DELETE FROM lab_results WHERE machine_id IN (%d, %d) AND request_id BETWEEN %d AND %d",
                                 kModuleMachineId, kMachineId, kOutboxFirstRequestId, kOutboxLastRequestId),
                          0) &&
            cleaned;
  if (!cleaned) std::fprintf(stderr, "db bench: clean-up failed: %s\n", db.LastErrorDetail().c_str());
}
