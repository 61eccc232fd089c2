#pragma once
// SIGINT and SIGTERM as a readable descriptor, for programs that end cleanly at any wait.

#include "util/unique_fd.h"

namespace strivex {

// Blocks SIGINT and SIGTERM in the calling thread (call before starting any other, so every
// thread inherits the mask) and returns a non-blocking signalfd that reports them. Also ignores
// SIGPIPE, so a vanished peer or reader gives a write error instead of ending the process.
// Throws std::system_error when the signals cannot be redirected.
UniqueFd BlockStopSignals();

}  // namespace strivex
