#pragma once
// One result as the outbox keeps it until the laboratory's server has confirmed it: the codes are
// kept as received and mapped to the server's ids only when the row is sent, so a code list that
// changes in between is honoured.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
};

struct OutboxStats {
  int64_t pending = 0;
  int64_t stored = 0;
  int64_t rejected = 0;
  int64_t unassigned = 0;
  int64_t oldestPendingId = 0;  // 0 when nothing waits
};

}  // namespace strivex
