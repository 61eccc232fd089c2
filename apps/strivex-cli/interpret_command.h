#pragma once
// "strivex-cli interpret": runs the report interpreter once on a saved report and prints what it
// found, so a report can be checked without the analyser or the laboratory database.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace strivex::cli {

// `args` are the arguments after the command name. Returns the exit status.
int RunInterpretCommand(std::span<const std::string_view> args);

// A decimal 32-bit signed integer and nothing else; no value when it is not one.
std::optional<int32_t> ParseRequestId(std::string_view text);

}  // namespace strivex::cli
