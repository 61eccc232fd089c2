#pragma once
// What "outbox assign" asks the laboratory's server before it gives unassigned results a request:
// the same lookup the module's window makes, for the instrument each result was received for.

#include <cstdint>
#include <span>

#include "session_open.h"

namespace strivex::cli {

// True when the server names request `requestId` itself for every machine of `machines`; else
// prints "assign: <reason>" (no --connect, the server unreachable, a request it does not know,
// another request's bar code...) and returns false.
bool ServerKnowsRequest(const SessionTarget& server, std::span<const int32_t> machines, int32_t requestId);

}  // namespace strivex::cli
