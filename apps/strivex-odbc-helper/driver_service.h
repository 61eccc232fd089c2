#pragma once
// Serves one connection's calls (driver_wire.h) off a stream socket with one engine: one call at a
// time, each answered before the next is read; up to ten result sets stay open, their rows sent in
// batches.

#include "db/db_engine.h"

namespace strivex::helper {

// Returns when the socket hangs up, fails, or brings a message that is not a call.
// `allocationFailed` tells whether an allocation failed since it was last asked: a failed call
// after one is answered "result too large".
void ServeDriverCalls(int fd, DbEngine& engine, bool (*allocationFailed)());

}  // namespace strivex::helper
