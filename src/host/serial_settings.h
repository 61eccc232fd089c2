#pragma once
// The serial line's settings as the local database keeps them: rows of NAME and VALUE for the
// instrument, matched without regard to case. The port's value is kept as stored: device paths
// on Linux are case-sensitive ("/dev/ttyUSB0", "/dev/serial/by-id/usb-...").

#include <cstdint>
#include <string>

namespace strivex {

// The port and character format, with the values the module uses when no row sets them.
struct SerialSettings {
  std::string portName = "COM1";
  uint32_t baudRate = 9600;
  uint8_t byteSize = 8;
  uint8_t parity = 0;    // NOPARITY
  uint8_t stopBits = 0;  // ONESTOPBIT
};

// Applies one settings row: names ("port", "baud rate", "byte size", "parity", "stop bits") and
// the parity and stop-bit words match in any case; the port's value is taken as it stands.
// Unknown names and values leave the settings unchanged.
void ApplySettingRow(SerialSettings& settings, std::string name, std::string value);

// A-Z to a-z; every other byte unchanged.
void LowerAscii(std::string& text);

}  // namespace strivex
