#pragma once
// An instrument's instance file: the host's options for that instrument, one "key = value" a line,
// the keys named as the long options (machine-id, name, workdir, local-db, port, server, database,
// user, password-file, server-port, tds-version, client-charset, relayed, close-ends-module,
// module). The password itself never stands in it: the file is easily copied and shown, the
// password file is kept chmod 600. Each key given is recorded with the file's path (givenIn).

#include <string>
#include <string_view>

#include "host_options.h"
#include "instance_places.h"

namespace strivex::host_app {

struct InstanceFile {
  std::string error;       // "FILE: why" or "FILE:LINE: why"; empty when usable
  bool machineId = false;  // whether the file gave the machine id
};

// Puts the file's values into `o` with an instance's defaults: the working directory
// STATE/NAME, the local database local.db. "~/" starts a path in the home directory; a relative
// local-db or password-file is taken in the working directory, where the module runs.
InstanceFile ApplyInstanceText(std::string_view text, const std::string& file, const std::string& name,
                               const InstancePlaces& places, HostOptions& o);

// ApplyInstanceText on the file's contents.
InstanceFile LoadInstanceFile(const std::string& file, const std::string& name, const InstancePlaces& places,
                              HostOptions& o);

}  // namespace strivex::host_app
