#include "db/relay_wire.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "db/baza_de_date.h"
#include "util/format.h"

namespace strivex {

namespace {

constexpr std::string_view kGreetingPrefix = "Medianex Server;Name=";

const char* C(const std::string& text) { return text.c_str(); }

std::string SkipBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

// The text after "<count>;", or nullopt when the count is another one.
std::optional<std::string_view> AfterCount(std::string_view arguments, char count) {
  if (arguments.size() < 2 || arguments[0] != count || arguments[1] != ';') return std::nullopt;
  return arguments.substr(2);
}

// "<slot>;<statement>": the statement may hold ';' itself.
std::optional<RelayRequest> SlotStatement(RelayOp op, std::string_view rest) {
  const size_t semicolon = rest.find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  const std::optional<int> slot = ParseRelaySlot(rest.substr(0, semicolon));
  if (!slot) return std::nullopt;
  return RelayRequest{op, *slot, {}, std::string(rest.substr(semicolon + 1))};
}

// "<name>,<slot>" split at the last comma.
std::optional<RelayRequest> NameSlot(RelayOp op, std::string_view rest) {
  const size_t comma = rest.rfind(',');
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  const std::optional<int> slot = ParseRelaySlot(rest.substr(comma + 1));
  if (!slot) return std::nullopt;
  return RelayRequest{op, *slot, std::string(rest.substr(0, comma)), {}};
}

// "<table>,<clause>,<slot>": the table ends at the first comma, the slot starts after the last;
// the clause may be empty, but its comma must be there.
std::optional<RelayRequest> TableClauseSlot(std::string_view rest) {
  const size_t comma = rest.find(',');
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  const std::string_view afterTable = rest.substr(comma + 1);
  const size_t last = afterTable.rfind(',');
  if (last == std::string_view::npos) return std::nullopt;
  const std::optional<int> slot = ParseRelaySlot(afterTable.substr(last + 1));
  if (!slot) return std::nullopt;
  return RelayRequest{RelayOp::kTableClause, *slot, std::string(rest.substr(0, comma)),
                      std::string(afterTable.substr(0, last))};
}

// "<slot>", with or without a closing ';'.
std::optional<RelayRequest> SingleSlot(RelayOp op, std::string_view rest) {
  if (rest.ends_with(';')) rest.remove_suffix(1);
  const std::optional<int> slot = ParseRelaySlot(rest);
  if (!slot) return std::nullopt;
  return RelayRequest{op, *slot, {}, {}};
}

}  // namespace

std::array<char, kRelayHeaderSize> RelayFrameHeader(int32_t number, int32_t length) {
  std::array<char, kRelayHeaderSize> header{};
  const auto put = [&header](size_t at, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) header[at + i] = static_cast<char>(bits >> (8 * i) & 0xFF);
  };
  put(0, number);
  put(4, length);
  return header;
}

int32_t RelayHeaderField(const char* at) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(at);
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 |
                         static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(value);
}

std::string EncodeRelayFrame(int32_t number, std::string_view text) {
  const auto header = RelayFrameHeader(number, static_cast<int32_t>(text.size()));
  std::string out;
  out.reserve(header.size() + text.size());
  out.append(header.data(), header.size());
  out.append(text);
  return out;
}

std::string RelayGreeting(std::string_view clientName) {
  std::string greeting = std::string(kGreetingPrefix) + std::string(clientName);
  greeting.resize(kRelayGreetingSize, '\0');
  return greeting;
}

std::optional<std::string> RelayGreetingName(std::string_view greeting) {
  if (!greeting.starts_with(kGreetingPrefix)) return std::nullopt;
  std::string_view name = greeting.substr(kGreetingPrefix.size());
  name = name.substr(0, name.find('\0'));
  return std::string(name);
}

std::string RelayStatusText(bool ok) { return std::string(1, ok ? '\x01' : '\x00'); }

bool RelayStatusOk(std::string_view reply) { return !reply.empty() && reply[0] != 0; }

std::string EncodeRelayValue(const DbValue& value) {
  std::string text = std::to_string(value.type) + ";" + value.ToText();
  text.resize(std::min(text.size(), static_cast<size_t>(kRelayMaxText)));
  return text;
}

DbValue DecodeRelayValue(std::string_view reply) {
  const size_t separator = reply.find(';');
  const std::string code = SkipBlanks(reply.substr(0, std::min<size_t>(separator, 100)));
  const std::string text = separator == std::string_view::npos
                               ? std::string()
                               : SkipBlanks(reply.substr(separator + 1, 3000));
  const auto type = static_cast<uint16_t>(std::strtol(code.c_str(), nullptr, 10));
  switch (type) {
    case VT_EMPTY: return DbValue::Empty();
    case VT_I4: return DbValue::Int(static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10)));
    case VT_DATE: return DbValue::Real(std::strtod(text.c_str(), nullptr), VT_DATE);
    case VT_BSTR: return DbValue::Text(text);
    default: {
      DbValue value;
      value.type = type;
      return value;
    }
  }
}

std::string_view RelayCommandName(RelayOp op) {
  switch (op) {
    case RelayOp::kOpen: return "DeschidConectie";
    case RelayOp::kStatement: return "SQLCommand";
    case RelayOp::kRecords: return "GetRecords";
    case RelayOp::kTable:
    case RelayOp::kTableClause: return "DeschidTabel";
    case RelayOp::kValue: return "ValoareColoana";
    case RelayOp::kNext: return "NextElementTabel";
    case RelayOp::kCloseTable: return "InchidTabel";
    case RelayOp::kClose: return "InchidConectie";
  }
  return {};
}

bool RelayRepliesWithValue(RelayOp op) { return op == RelayOp::kValue; }

std::string EncodeRelayArguments(const RelayRequest& r) {
  switch (r.op) {
    case RelayOp::kOpen: return r.text;
    case RelayOp::kStatement:
    case RelayOp::kRecords: return Format("2;%d;%s", r.slot, C(r.text));
    case RelayOp::kTable:
    case RelayOp::kValue: return Format("2;%s,%d", C(r.name), r.slot);
    case RelayOp::kTableClause: return Format("3;%s,%s,%d", C(r.name), C(r.text), r.slot);
    case RelayOp::kNext: return Format("1;%d", r.slot);
    case RelayOp::kCloseTable: return Format("1;%d;", r.slot);
    case RelayOp::kClose: return "0;";
  }
  return {};
}

std::optional<RelayOp> RelayOpOf(std::string_view command, std::string_view arguments) {
  if (command == "DeschidTabel") {
    return arguments.starts_with("3;") ? RelayOp::kTableClause : RelayOp::kTable;
  }
  for (const RelayOp op : {RelayOp::kOpen, RelayOp::kStatement, RelayOp::kRecords, RelayOp::kValue,
                           RelayOp::kNext, RelayOp::kCloseTable, RelayOp::kClose}) {
    if (command == RelayCommandName(op)) return op;
  }
  return std::nullopt;
}

std::optional<RelayRequest> DecodeRelayArguments(RelayOp op, std::string_view arguments) {
  switch (op) {
    case RelayOp::kOpen: return RelayRequest{op, 0, {}, std::string(arguments)};
    case RelayOp::kClose: return RelayRequest{op, 0, {}, {}};
    default: break;
  }
  const char count = op == RelayOp::kTableClause                      ? '3'
                     : op == RelayOp::kNext || op == RelayOp::kCloseTable ? '1'
                                                                          : '2';
  const std::optional<std::string_view> rest = AfterCount(arguments, count);
  if (!rest) return std::nullopt;
  switch (op) {
    case RelayOp::kStatement:
    case RelayOp::kRecords: return SlotStatement(op, *rest);
    case RelayOp::kTable:
    case RelayOp::kValue: return NameSlot(op, *rest);
    case RelayOp::kTableClause: return TableClauseSlot(*rest);
    default: return SingleSlot(op, *rest);
  }
}

std::optional<int> ParseRelaySlot(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < 0 || value >= BazaDeDate::kSlotCount) return std::nullopt;
  return value;
}

}  // namespace strivex
