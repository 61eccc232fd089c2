#pragma once
// "strivex-cli status": how the instruments' modules are doing, read from the status file each
// keeps in its working directory; no connection to the modules.

#include <span>
#include <string_view>

namespace strivex::cli {

// `args` are the arguments after the command name. Returns the exit status.
int RunStatusCommand(std::span<const std::string_view> args);

}  // namespace strivex::cli
