#include "command_runner.h"

#include <algorithm>
#include <optional>

#include "arguments.h"
#include "frame_io.h"

namespace strivex::relay {

namespace {

CommandOutcome Status(bool ok) { return {{StatusText(ok)}, false}; }

// "<type>;<text>", cut to what one frame carries.
std::string ValueText(const DbValue& value) {
  std::string text = std::to_string(value.type) + ";" + value.ToText();
  text.resize(std::min(text.size(), static_cast<size_t>(kMaxFrameText)));
  return text;
}

}  // namespace

std::string StatusText(bool ok) { return std::string(1, ok ? '\x01' : '\x00'); }

CommandOutcome CommandRunner::Run(std::string_view command, std::string_view arguments) {
  if (command == "DeschidConectie") {
    // The relay always reaches the database itself: a relayed open here would loop.
    return Status(session_.DeschidConectie(std::string(arguments), 1));
  }
  if (command == "SQLCommand" || command == "GetRecords") {
    const std::optional<SlotStatement> parsed = ParseSlotStatement(arguments);
    if (!parsed) return Status(false);
    return Status(command == "SQLCommand" ? session_.SQLCommand(parsed->statement, parsed->slot)
                                          : session_.GetRecords(parsed->statement, parsed->slot));
  }
  if (command == "DeschidTabel") {
    if (arguments.starts_with("3;")) {
      const std::optional<TableClauseSlot> parsed = ParseTableClauseSlot(arguments);
      if (!parsed) return Status(false);
      return Status(session_.DeschidTabel(parsed->table, parsed->clause, parsed->slot));
    }
    const std::optional<NameSlot> parsed = ParseNameSlot(arguments);
    if (!parsed) return Status(false);
    return Status(session_.DeschidTabel(parsed->name, parsed->slot));
  }
  if (command == "ValoareColoana") {
    // The client reads a value reply before the status, even when the request is unusable.
    const std::optional<NameSlot> parsed = ParseNameSlot(arguments);
    if (!parsed) return {{ValueText(DbValue::Empty()), StatusText(false)}, false};
    const DbValue value = session_.ValoareColoana(parsed->name, parsed->slot);
    return {{ValueText(value), StatusText(!value.IsEmpty())}, false};
  }
  if (command == "NextElementTabel") {
    const std::optional<int> slot = ParseSingleSlot(arguments);
    if (!slot) return Status(false);
    return Status(session_.NextElementTabel(*slot));
  }
  if (command == "InchidTabel") {
    const std::optional<int> slot = ParseSingleSlot(arguments);
    if (!slot) return Status(false);
    session_.InchidTabel(*slot);
    return Status(true);
  }
  if (command == "InchidConectie") {
    session_.InchidConectie();
    return {{StatusText(true)}, true};
  }
  return Status(false);
}

}  // namespace strivex::relay
