#pragma once
// The messages between an engine and the helper process that runs its ODBC driver, in the relay's
// frames (relay_wire.h) over a stream socket: the frame's number is the message's kind, its text
// the kind's fields, little-endian. Values keep their type and every byte: unlike the relay's
// value replies, nothing is cut or turned into text. A message without fields carries one zero
// byte, as a frame is never empty.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/db_engine.h"
#include "db/relay_frame_reader.h"

namespace strivex {

enum class DriverKind : int32_t {
  // The engine's calls, one at a time; each gets one reply.
  kOpen = 1,      // text: connection string; timeouts -> kDone or kFailed
  kExecute = 2,   // text: the statement -> kRows or kFailed
  kFetch = 3,     // set -> kRows or kFailed
  kCloseSet = 4,  // set -> kDone
  kClose = 5,     // -> kDone
  // The helper's replies.
  kDone = 16,
  kFailed = 17,  // error
  kRows = 18,    // set, columns (a statement's first batch), rows, end (error when kFailed)
};

// How a batch of rows ends.
enum class BatchEnd : uint8_t {
  kMore = 0,    // the set has more rows: kFetch asks for them
  kEnd = 1,     // the last row came; the helper has let the set go
  kFailed = 2,  // reading the row after the batch failed (`error`); the set is let go
};

// One message; only the fields of its kind travel.
struct DriverMessage {
  DriverKind kind = DriverKind::kDone;
  std::string text;
  DbTimeouts timeouts;
  uint32_t set = 0;
  std::vector<std::string> columns;
  std::vector<std::vector<DbValue>> rows;  // each as wide as the statement's columns
  BatchEnd end = BatchEnd::kEnd;
  DbError error;

  bool operator==(const DriverMessage&) const = default;
};

// The whole frame of a message, header included.
std::string EncodeDriverMessage(const DriverMessage& message);
// The message a frame carries; nullopt for an unknown kind, a type code no engine gives, fields
// that do not fill the text exactly, or rows of another width than the batch says.
std::optional<DriverMessage> DecodeDriverMessage(const RelayFrame& frame);

// A call that the helper's data limit refused, as the helper reports it; the engine words it in
// the session's bound.
DbError DriverOutOfMemory();

// Writes the message's whole frame to a stream socket, never raising SIGPIPE; false when the
// peer is gone or the socket failed.
bool SendDriverMessage(int fd, const DriverMessage& message);

}  // namespace strivex
