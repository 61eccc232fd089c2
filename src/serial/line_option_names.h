#pragma once
// The words the operator tools take for parity and stop bits on their command lines.

#include <cstdint>
#include <optional>
#include <string_view>

namespace strivex {

// "none", "odd", "even", "mark", "space".
std::optional<uint8_t> ParityFromOptionName(std::string_view name);

// "1", "1.5", "2".
std::optional<uint8_t> StopBitsFromOptionName(std::string_view name);

}  // namespace strivex
