#pragma once
// "strivex-cli outbox": shows the result outbox to laboratory administrators and puts results the
// server rejected back in line once the cause is fixed. Works beside a running module.

#include <span>
#include <string_view>

namespace strivex::cli {

// `args` are the arguments after the command name. Returns the exit status.
int RunOutboxCommand(std::span<const std::string_view> args);

}  // namespace strivex::cli
