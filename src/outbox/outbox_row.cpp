#include "outbox/outbox_row.h"

namespace strivex {

std::string_view OutboxStateName(OutboxState state) {
  switch (state) {
    case OutboxState::kPending: return "pending";
    case OutboxState::kStored: return "stored";
    case OutboxState::kRejected: return "rejected";
    case OutboxState::kUnassigned: return "unassigned";
  }
  return "pending";
}

std::optional<OutboxState> OutboxStateFromName(std::string_view name) {
  for (OutboxState state :
       {OutboxState::kPending, OutboxState::kStored, OutboxState::kRejected, OutboxState::kUnassigned}) {
    if (OutboxStateName(state) == name) return state;
  }
  return std::nullopt;
}

}  // namespace strivex
