#pragma once
// The listening socket and the clients' threads, until SIGINT or SIGTERM.

#include "options.h"

namespace strivex::relay {

// Returns the exit status. Call before any other thread starts: the signals are blocked here so
// that every thread inherits the mask and only the accept loop sees them.
int RunServer(const RelayOptions& options);

}  // namespace strivex::relay
