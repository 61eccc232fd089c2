#pragma once
// What one send of an outbox row leads to. A lost connection is nobody's verdict on the row: it
// stays pending, untouched, until the session is back. A refusal is the server's verdict: the row
// is tried again a few times, far apart (a laboratory may fix a code table in the meantime), and
// then kept as rejected with the server's text, out of the way of the rows behind it.

#include <cstdint>
#include <string>

#include "outbox/outbox_row.h"
#include "util/timings.h"

namespace strivex {

class OutboxStore;

enum class SendOutcome { kStored, kConnectionLost, kRejected };

struct RetryPolicy {
  int32_t maxRetries = timings::kRefusedRowRetries;                  // after the first refusal
  int64_t delaySeconds = timings::kRefusedRowRetryDelay.count();  // between two tries of a refused row
};

// Stored rows stay this long for audit, then go: at start-up and at most once a purge period while
// a module runs.
inline constexpr int64_t kStoredKeptSeconds = timings::kStoredRowsKept.count();
inline constexpr int64_t kPurgePeriodSeconds = timings::kStoredRowsPurgePeriod.count();

// Writes the outcome to the row; false when the outbox could not be written.
bool RecordOutcome(OutboxStore& store, const OutboxRow& row, SendOutcome outcome, const std::string& serverText,
                   const RetryPolicy& policy, int64_t now);

}  // namespace strivex
