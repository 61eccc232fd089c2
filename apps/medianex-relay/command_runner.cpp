#include "command_runner.h"

#include <optional>

#include "db/relay_wire.h"

namespace strivex::relay {

namespace {

CommandOutcome Status(bool ok) { return {{RelayStatusText(ok)}, false}; }

// A failure in the shape the client awaits: it reads a value reply before the status even when
// the request is unusable.
CommandOutcome Failure(RelayOp op) {
  if (RelayRepliesWithValue(op)) return {{EncodeRelayValue(DbValue::Empty()), RelayStatusText(false)}, false};
  return Status(false);
}

}  // namespace

CommandOutcome CommandRunner::Run(std::string_view command, std::string_view arguments) {
  const std::optional<RelayOp> op = RelayOpOf(command, arguments);
  if (!op) return Status(false);
  const std::optional<RelayRequest> request = DecodeRelayArguments(*op, arguments);
  if (!request) return Failure(*op);
  const RelayRequest& r = *request;
  switch (*op) {
    case RelayOp::kOpen:
      // The relay always reaches the database itself: a relayed open here would loop.
      return Status(session_.DeschidConectie(r.text, 1));
    case RelayOp::kStatement: return Status(session_.SQLCommand(r.text, r.slot));
    case RelayOp::kRecords: return Status(session_.GetRecords(r.text, r.slot));
    case RelayOp::kTable: return Status(session_.DeschidTabel(r.name, r.slot));
    case RelayOp::kTableClause: return Status(session_.DeschidTabel(r.name, r.text, r.slot));
    case RelayOp::kValue: {
      const DbValue value = session_.ValoareColoana(r.name, r.slot);
      return {{EncodeRelayValue(value), RelayStatusText(!value.IsEmpty())}, false};
    }
    case RelayOp::kNext: return Status(session_.NextElementTabel(r.slot));
    case RelayOp::kCloseTable:
      session_.InchidTabel(r.slot);
      return Status(true);
    case RelayOp::kClose:
      session_.InchidConectie();
      return {{RelayStatusText(true)}, true};
  }
  return Status(false);
}

}  // namespace strivex::relay
