#pragma once
// Each instance's logs are rotated by its user's own logrotate run (the user timer
// strivex-logrotate.timer), from a configuration the host writes at every start: so the rotation
// follows a working directory that the instance file moves, wherever it is, for every user.

#include <string>

namespace strivex::host_app {

// The logrotate configuration of the logs in `workdir`; empty, with `error`, when the folder's
// name holds what logrotate would read as a pattern, a quote or a line's end.
std::string LogRotationConfig(const std::string& workdir, std::string& error);

// Writes the configuration of instance `name` as `dir`/NAME.conf (`dir` made 0700) when it
// differs from what is there. Why it cannot, or empty.
std::string WriteLogRotation(const std::string& dir, const std::string& name, const std::string& workdir);

}  // namespace strivex::host_app
