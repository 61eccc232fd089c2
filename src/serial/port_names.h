#pragma once
// Port names as operators and stored settings give them: "COM1" (any case) is the first on-board
// port /dev/ttyS0, a name with a '/' is a device path, and any other name is a device in /dev
// (ttyS, ttyUSB, ttyACM and ttyAMA ports in any case).

#include <string>
#include <string_view>

namespace strivex {

// The device path Open uses for `portName`; never fails (an unknown name is a file in the device
// directory, and the open then fails).
std::string DevicePathForPort(std::string_view portName);

// Where port names are looked up: /dev, or the folder named by STRIVEX_DEVICE_DIR (for test rigs
// and simulators that stand in for the machine's ports).
std::string DeviceDirectory();

}  // namespace strivex
