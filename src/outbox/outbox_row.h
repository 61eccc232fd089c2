#pragma once
// One result as the outbox keeps it until the laboratory's server has confirmed it: the codes are
// kept as received and mapped to the server's ids only when the row is sent, so a code list that
// changes in between is honoured.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strivex {

// kUnassigned: results of a printout without a usable sample identifier; never sent until someone
// assigns them to a request, which makes them pending.
enum class OutboxState { kPending, kStored, kRejected, kUnassigned };

// "pending", "stored", "rejected", "unassigned": the words kept in the file and shown to administrators.
std::string_view OutboxStateName(OutboxState state);
std::optional<OutboxState> OutboxStateFromName(std::string_view name);

struct OutboxRow {
  int64_t id = 0;           // arrival sequence: rows are sent in this order
  int64_t messageId = 0;    // the message the row arrived in
  int32_t sampleIndex = 0;  // its sample's place in that message, from 0
  int32_t requestId = 0;
  std::string analysisCode;
  std::string parameterCode;
  std::string value;         // bytes as received (Windows-1250), never re-encoded
  std::string secondMarker;  // sixth argument of L_RESULT_INSERT
  std::string receivedAt;    // local time, "YYYY-MM-DD HH:MM:SS"
  OutboxState state = OutboxState::kPending;
  int32_t attempts = 0;         // rejected sends so far
  int64_t nextAttemptAt = 0;    // unix seconds; a pending row is not sent before
  int64_t storedAt = 0;         // unix seconds the server confirmed it, 0 until then
  std::string lastError;        // the server's text of the last rejection
  int32_t machineId = 0;        // the instrument (host's machine id) it was received for
  int64_t assignedAt = 0;       // unix seconds an operator gave it its request; 0 if never
  std::string assignedBy;       // who did: kAssignedInWindow, kAssignedByCommand[Forced]
};

// Who assigned an unassigned printout its request, as kept on its rows and listed for audit.
inline constexpr const char* kAssignedInWindow = "window";
inline constexpr const char* kAssignedByCommand = "command line";
inline constexpr const char* kAssignedByCommandForced = "command line, forced";

struct OutboxStats {
  int64_t pending = 0;
  int64_t stored = 0;
  int64_t rejected = 0;
  int64_t unassigned = 0;
  int64_t oldestPendingId = 0;  // 0 when nothing waits
  // With an owner (OutboxStore::SetOwner) the counts above are the owner's and this counts the
  // pending, rejected and unassigned rows of other instruments, which this module never sends.
  int64_t otherMachines = 0;
  // Stats() only: pending rows per instrument, lowest machine id first.
  std::vector<std::pair<int32_t, int64_t>> pendingByMachine;
};

}  // namespace strivex
