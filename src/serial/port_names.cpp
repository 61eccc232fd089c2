#include "serial/port_names.h"

#include <cctype>

namespace strivex {

std::string DevicePathForPort(std::string_view portName) {
  if (portName.find('/') != std::string_view::npos) return std::string(portName);
  const bool comPrefix = portName.size() > 3 &&
                         std::toupper(static_cast<unsigned char>(portName[0])) == 'C' &&
                         std::toupper(static_cast<unsigned char>(portName[1])) == 'O' &&
                         std::toupper(static_cast<unsigned char>(portName[2])) == 'M';
  if (comPrefix) {
    const std::string_view digits = portName.substr(3);
    unsigned number = 0;
    bool allDigits = digits.size() <= 4;
    for (char c : digits) {
      if (c < '0' || c > '9') allDigits = false;
      else number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (allDigits && number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  }
  return "/dev/" + std::string(portName);
}

}  // namespace strivex
