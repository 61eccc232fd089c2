#include "host/serial_settings.h"

#include <utility>

#include "serial/line_settings.h"
#include "util/text_scan.h"

namespace strivex {

void LowerAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

void ApplySettingRow(SerialSettings& settings, std::string name, std::string value) {
  LowerAscii(name);
  if (name == "port") {
    settings.portName = std::move(value);
    return;
  }
  LowerAscii(value);
  if (name == "baud rate") {
    settings.baudRate = static_cast<uint32_t>(ParseDecimal(value));
  } else if (name == "byte size") {
    settings.byteSize = static_cast<uint8_t>(ParseDecimal(value));
  } else if (name == "parity") {
    if (value == "no parity" || value == "none") settings.parity = NOPARITY;
    else if (value == "odd") settings.parity = ODDPARITY;
    else if (value == "even") settings.parity = EVENPARITY;
    else if (value == "mark") settings.parity = MARKPARITY;
    else if (value == "space") settings.parity = SPACEPARITY;
  } else if (name == "stop bits") {
    if (value == "1 stop bit") settings.stopBits = ONESTOPBIT;
    else if (value == "1.5 stop bits") settings.stopBits = ONE5STOPBITS;
    else if (value == "2 stop bits") settings.stopBits = TWOSTOPBITS;
  }
}

}  // namespace strivex
