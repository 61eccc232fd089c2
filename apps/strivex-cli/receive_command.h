#pragma once
// "strivex-cli receive": listens on a serial port with the module's own reader and prints every
// complete message, so cabling and line settings can be checked without the laboratory system.

#include <span>
#include <string_view>

namespace strivex::cli {

// `args` are the arguments after the command name. Returns the exit status.
int RunReceiveCommand(std::span<const std::string_view> args);

}  // namespace strivex::cli
