#pragma once
// The installation's local database as strivex-host prepares it: a new file gets the server
// settings and the instrument's row; the serial port row is set when asked for.

#include <string>

#include "host_options.h"

namespace strivex::host_app {

// False (with `error` set) when the file cannot be opened or written.
bool PrepareLocalDatabase(const HostOptions& options, std::string& error);

}  // namespace strivex::host_app
