#pragma once
// Pieces of option parsing every command shares.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strivex::cli {

// Prints "strivex-cli: <what, escaped>: <reason>" and returns false.
bool UsageError(std::string_view what, std::string_view reason);

// Splits "--name=value"; `value` stays unset for a bare "--name".
std::string_view OptionName(std::string_view arg, std::optional<std::string_view>& value);

// Digits only, at least 1, within 32 bits.
std::optional<uint32_t> ParsePositive(std::string_view text);

// A value as it appears in an error line: escaped and between single quotes.
std::string Quoted(std::string_view value);

}  // namespace strivex::cli
