#pragma once
// The relay's wire, written once for both ends: the relayed session (client) and medianex-relay
// (server). A connection starts with a 100-byte greeting; then every message is a frame:
// little-endian int32 request number, int32 length, that many text bytes. A request is two
// frames under one number, the command name and its argument text; the reply is one status
// frame, or for ValoareColoana a value frame and then a status frame.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/db_value.h"

namespace strivex {

// Longest text a frame carries, either way; longer is never sent.
inline constexpr int32_t kRelayMaxText = 1999;
// The number and length that precede a frame's text.
inline constexpr size_t kRelayHeaderSize = 8;
// The greeting's fixed size: the text, then zeros.
inline constexpr size_t kRelayGreetingSize = 100;
// The port the relay listens on unless told otherwise.
inline constexpr uint16_t kRelayDefaultPort = 9081;

// The header of a frame of `length` text bytes, for a gather write ahead of the text.
std::array<char, kRelayHeaderSize> RelayFrameHeader(int32_t number, int32_t length);
// A little-endian int32 from the 4 bytes at `at` (a header's number or length).
int32_t RelayHeaderField(const char* at);
// A whole frame: header and text. The text must not exceed kRelayMaxText.
std::string EncodeRelayFrame(int32_t number, std::string_view text);

// The client's greeting: "Medianex Server;Name=<name>", cut at 100 bytes or padded with zeros.
std::string RelayGreeting(std::string_view clientName);
// The client's name from a greeting, up to its first NUL; nullopt when it is not a greeting.
std::optional<std::string> RelayGreetingName(std::string_view greeting);

// The status reply: one byte, 1 for success and 0 for failure.
std::string RelayStatusText(bool ok);
// Whether a status reply says success: its first byte is not 0 (an empty reply is a failure).
bool RelayStatusOk(std::string_view reply);

// A value reply: "<type>;<value as text>", cut to what one frame carries.
std::string EncodeRelayValue(const DbValue& value);
// The value of a value reply; blanks before the type and the text are skipped. Only the types the
// relay sends with a payload (VT_I4, VT_DATE, VT_BSTR) carry one; other codes come back bare.
DbValue DecodeRelayValue(std::string_view reply);

// The requests of the relay, one for each argument format a command is sent with.
enum class RelayOp {
  kOpen,         // DeschidConectie   <connection string>
  kStatement,    // SQLCommand        2;<slot>;<statement>
  kRecords,      // GetRecords        2;<slot>;<statement>
  kTable,        // DeschidTabel      2;<table>,<slot>
  kTableClause,  // DeschidTabel      3;<table>,<clause>,<slot>
  kValue,        // ValoareColoana    2;<column>,<slot>
  kNext,         // NextElementTabel  1;<slot>
  kCloseTable,   // InchidTabel       1;<slot>;
  kClose,        // InchidConectie    0;
};

// One request, by its parts: `name` is the table or column, `text` the statement, the clause or
// the connection string; the parts a format has no room for are ignored.
struct RelayRequest {
  RelayOp op = RelayOp::kClose;
  int slot = 0;
  std::string name;
  std::string text;
};

// The command name a request travels under.
std::string_view RelayCommandName(RelayOp op);
// Whether the reply is a value frame followed by a status frame (else a lone status frame).
bool RelayRepliesWithValue(RelayOp op);
// The argument text of a request, in its command's format.
std::string EncodeRelayArguments(const RelayRequest& request);

// The request a command name stands for (DeschidTabel's two forms told apart by their "3;"
// prefix); nullopt for a name the relay does not serve.
std::optional<RelayOp> RelayOpOf(std::string_view command, std::string_view arguments);
// The parts of an argument text in the format of `op`; nullopt when it does not fit, or names a
// slot outside 0 to 9. Statements and clauses may hold ',' and ';': a slot before a statement
// ends at the second ';', a slot after a name starts after the last ','.
std::optional<RelayRequest> DecodeRelayArguments(RelayOp op, std::string_view arguments);

// A session slot number (0 to 9) written in decimal without blanks or sign; nullopt otherwise.
std::optional<int> ParseRelaySlot(std::string_view text);

}  // namespace strivex
