#pragma once
// The words the operator tools take for parity and stop bits on their command lines.

#include <cstdint>
#include <optional>
#include <string_view>

namespace strivex {

// The parity for "none", "odd", "even", "mark" or "space" (lower case only); nullopt otherwise.
std::optional<uint8_t> ParityFromOptionName(std::string_view name);

// The stop bits for "1", "1.5" or "2"; nullopt otherwise.
std::optional<uint8_t> StopBitsFromOptionName(std::string_view name);

}  // namespace strivex
