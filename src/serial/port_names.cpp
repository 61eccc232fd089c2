#include "serial/port_names.h"

#include <cctype>
#include <cstdlib>

namespace strivex {

std::string DeviceDirectory() {
  const char* dir = std::getenv("STRIVEX_DEVICE_DIR");
  return dir != nullptr && *dir != '\0' ? dir : "/dev";
}

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
    if (allDigits && number >= 1) return DeviceDirectory() + "/ttyS" + std::to_string(number - 1);
  }
  // Older starts lower-cased the stored port setting ("ttyusb0"); device names are not, so the
  // serial families are matched ignoring case.
  static constexpr std::string_view kFamilies[] = {"ttyUSB", "ttyACM", "ttyAMA", "ttyS"};
  for (std::string_view family : kFamilies) {
    if (portName.size() <= family.size()) continue;
    bool same = true;
    for (size_t i = 0; i < family.size(); ++i) {
      same = same && std::tolower(static_cast<unsigned char>(portName[i])) ==
                         std::tolower(static_cast<unsigned char>(family[i]));
    }
    const std::string_view number = portName.substr(family.size());
    if (same && number.find_first_not_of("0123456789") == std::string_view::npos) {
      return DeviceDirectory() + "/" + std::string(family) + std::string(number);
    }
  }
  return DeviceDirectory() + "/" + std::string(portName);
}

}  // namespace strivex
