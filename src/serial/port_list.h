#pragma once
// The serial ports the settings dialog offers: every port present, ports in use included, found
// through sysfs without opening any device (opening could disturb a port another program holds).
//
// Listed: on-board UARTs ttyS<n> whose UART type is known (a kernel creates ttyS entries for
// slots without hardware, with type 0), USB serial adapters ttyUSB<n> and USB modems ttyACM<n>.
// Nothing else: virtual consoles, pseudo-terminals and board-specific UARTs (ttyAMA, ttymxc, ...)
// are not where the analyser is connected.

#include <filesystem>
#include <string>
#include <vector>

namespace strivex {

// One port the dialog offers.
struct SerialPortInfo {
  std::string name;    // what the operator picks and the settings store: "COM1", "ttyUSB0"
  std::string device;  // the device it opens: "/dev/ttyS0", "/dev/ttyUSB0"

  bool operator==(const SerialPortInfo&) const = default;
};

// The present ports: COM ports by number, then ttyUSB by number, then ttyACM by number. Empty
// when the directory cannot be read; never opens a device, never throws.
std::vector<SerialPortInfo> ListSerialPorts(
    const std::filesystem::path& sysClassTty = "/sys/class/tty");

// The stable names of USB serial devices present ("usb-VENDOR_MODEL_SERIAL-if00-port0" links in
// `byIdDir`, which exist only while their device does), by name. The name offered is the link's
// whole path: it opens the same adapter whichever ttyUSB number it gets. Empty when the directory
// is missing (no such device was ever plugged in); never throws.
std::vector<SerialPortInfo> ListSerialPortsById(const std::filesystem::path& byIdDir);

// What the serial settings dialog offers: ListSerialPorts(), then the stable names in
// serial/by-id of the device directory (see DeviceDirectory).
std::vector<SerialPortInfo> ListPresentSerialPorts();

}  // namespace strivex
