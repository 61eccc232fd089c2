#pragma once
// The relay's socket reads and writes that frames (see db/relay_wire.h) do not cover: the
// greeting that precedes the frames, and whole writes.

#include <chrono>
#include <string>
#include <string_view>

#include "db/relay_frame_reader.h"

namespace strivex::relay {

// Reads the 100-byte greeting from `fd`; kOk when all of it came, else why not (kClosed only
// when the peer closed before the first byte; kTimedOut when `timeout` passed first, negative:
// no bound).
RelayReadStatus ReadGreeting(int fd, std::string& greeting,
                             std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

// Blocks until `fd` has bytes to read, is closed or shut down, or fails; as long as that takes.
void WaitForBytes(int fd);

enum class WriteStatus { kOk, kTimedOut, kFailed };

// Writes every byte to `fd` (no SIGPIPE) before `deadline`, however the peer paces its reads
// (max(): no bound); kFailed when the peer is gone or the socket fails.
WriteStatus WriteAll(int fd, std::string_view bytes,
                     std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

}  // namespace strivex::relay
