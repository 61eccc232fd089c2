#pragma once
// Pieces of option parsing every command shares.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "command_line.h"

namespace strivex::cli {

// Prints "strivex-cli: <what, escaped>: <reason>" and returns false.
bool UsageError(std::string_view what, std::string_view reason);

// Splits a command's arguments; false, after the error line, when the line is unusable.
bool SplitArguments(std::span<const std::string_view> args, std::span<const app::LongOption> known,
                    app::CommandLine& line);

// Digits only, at least 1, within 32 bits.
std::optional<uint32_t> ParsePositive(std::string_view text);

// A value as it appears in an error line: escaped and between single quotes.
std::string Quoted(std::string_view value);

}  // namespace strivex::cli
