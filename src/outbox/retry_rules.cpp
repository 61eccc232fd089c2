#include "outbox/retry_rules.h"

#include "outbox/outbox_store.h"

namespace strivex {

bool RecordOutcome(OutboxStore& store, const OutboxRow& row, SendOutcome outcome, const std::string& serverText,
                   const RetryPolicy& policy, int64_t now) {
  switch (outcome) {
    case SendOutcome::kStored:
      return store.MarkStored(row.id, now);
    case SendOutcome::kConnectionLost:
      return true;
    case SendOutcome::kRejected: {
      const int32_t refusals = row.attempts + 1;
      if (refusals > policy.maxRetries) return store.MarkRejected(row.id, refusals, serverText);
      return store.MarkRefused(row.id, refusals, now + policy.delaySeconds, serverText);
    }
  }
  return true;
}

}  // namespace strivex
