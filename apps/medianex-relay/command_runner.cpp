#include "command_runner.h"

#include <optional>
#include <utility>

#include "db/connection_string.h"
#include "db/relay_wire.h"
#include "log.h"

namespace strivex::relay {

namespace {

// Replies that keep the connection.
CommandOutcome Answered(std::vector<std::string> replies) {
  CommandOutcome outcome;
  outcome.replies = std::move(replies);
  return outcome;
}

CommandOutcome Status(bool ok) { return Answered({RelayStatusText(ok)}); }

// A failure in the shape the client awaits: it reads a value reply before the status even when
// the request is unusable.
CommandOutcome Failure(RelayOp op) {
  if (RelayRepliesWithValue(op)) return Answered({EncodeRelayValue(DbValue::Empty()), RelayStatusText(false)});
  return Status(false);
}

}  // namespace

CommandOutcome CommandRunner::Answer(bool ok) {
  if (!ok && session_.lastErrorText().starts_with(kResultTooLarge)) {
    CommandOutcome outcome = Status(false);
    outcome.notice = "statement refused: " + session_.lastErrorText();
    return outcome;
  }
  if (ok || session_.lastFailure() != DbFailure::kConnectionLost) return Status(ok);
  return {{}, true, "database connection lost: " + Printable(session_.lastErrorText()), {}};
}

CommandOutcome CommandRunner::Run(std::string_view command, std::string_view arguments) {
  const std::optional<RelayOp> op = RelayOpOf(command, arguments);
  if (!op) return Status(false);
  const std::optional<RelayRequest> request = DecodeRelayArguments(*op, arguments);
  if (!request) return Failure(*op);
  const RelayRequest& r = *request;
  switch (*op) {
    case RelayOp::kOpen: {
      if (const std::string refused = RefusedOpenReason(r.text, policy_); !refused.empty()) {
        CommandOutcome outcome = Status(false);
        outcome.notice = "refused to open " + Printable(MaskConnectionPassword(r.text)) + ": " + refused;
        return outcome;
      }
      // The relay always reaches the database itself: a relayed open here would loop.
      return Answer(session_.DeschidConectie(r.text, 1));
    }
    // Status 1 only for a statement that took effect: a client cannot tell a conversion failure
    // let through from a stored row.
    case RelayOp::kStatement: return Answer(session_.SQLCommandApplied(r.text, r.slot));
    case RelayOp::kRecords: return Answer(session_.GetRecords(r.text, r.slot));
    case RelayOp::kTable: return Answer(session_.DeschidTabel(r.name, r.slot));
    case RelayOp::kTableClause: return Answer(session_.DeschidTabel(r.name, r.text, r.slot));
    case RelayOp::kValue: {
      const DbValue value = session_.ValoareColoana(r.name, r.slot);
      return Answered({EncodeRelayValue(value), RelayStatusText(!value.IsEmpty())});
    }
    case RelayOp::kNext: {
      if (session_.NextElementTabel(r.slot)) return Status(true);
      CommandOutcome outcome = Status(false);
      // A later batch of rows past the bound ends the set early: the client sees its end.
      if (const std::string why = session_.RowReadFailure(r.slot); why.starts_with(kResultTooLarge))
        outcome.notice = "rows refused: " + why;
      return outcome;
    }
    case RelayOp::kCloseTable:
      session_.InchidTabel(r.slot);
      return Status(true);
    case RelayOp::kClose:
      session_.InchidConectie();
      return {{RelayStatusText(true)}, true, "closed the connection", {}};
  }
  return Status(false);
}

}  // namespace strivex::relay
