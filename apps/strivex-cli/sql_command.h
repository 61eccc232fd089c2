#pragma once
// strivex-cli sql: runs one statement through a database session the way the module does.

#include <span>
#include <string_view>

namespace strivex::cli {

// `args` are the arguments after the command name. Returns the exit status; failures are one
// error line on standard error.
int RunSqlCommand(std::span<const std::string_view> args);

}  // namespace strivex::cli
