#pragma once
// Port names as operators and stored settings give them: "COM1" (any case) is the first on-board
// port /dev/ttyS0, a name with a '/' is a device path, and any other name is a device in /dev.

#include <string>
#include <string_view>

namespace strivex {

std::string DevicePathForPort(std::string_view portName);

}  // namespace strivex
