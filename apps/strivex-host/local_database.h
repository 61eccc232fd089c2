#pragma once
// The installation's local database as strivex-host prepares it at every start: a new file gets
// the instrument's row; the settings the administrator declared (instance file or command line)
// are written over what is stored, and recorded as declared for the module's dialogs.

#include <string>
#include <vector>

#include "host_options.h"

namespace strivex::host_app {

// False (with `error` set) when the file cannot be opened or written. `changes` gets a line for
// each declared value that changed what an existing file held ("FILE: Adresa Server changed from
// 'a' to 'b' (declared in /etc/strivex/x.ini)"; a password only as changed), for the host's log.
bool PrepareLocalDatabase(const HostOptions& options, std::vector<std::string>& changes, std::string& error);

}  // namespace strivex::host_app
