#pragma once
// strivex-cli sql: runs one statement through a database session the way the module does.

#include <span>
#include <string_view>

namespace strivex::cli {

int RunSqlCommand(std::span<const std::string_view> args);

}  // namespace strivex::cli
