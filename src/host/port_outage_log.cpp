#include "host/port_outage_log.h"

#include "serial/port_names.h"
#include "serial/port_serial.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

// "COM1 (/dev/ttyS0)", or the path alone when it is the name.
std::string PortLabel(const std::string& portName) {
  const std::string device = DevicePathForPort(portName);
  return device == portName ? device : portName + " (" + device + ")";
}

}  // namespace

PortOpenOutcome PortOutageLog::Open(PortSerial& port, const std::string& portName, const LineSettings& dcb) {
  std::string reason;
  PortOpenOutcome outcome;
  outcome.opened = port.Open(portName, dcb, reason, outcome.notice);
  std::lock_guard lock(mutex_);
  if (outcome.opened) {
    if (told_) WriteErrorLogEntry(Format("Portul %s este din nou deschis", PortLabel(portName).c_str()));
    told_ = false;
    noticed_ = false;
    return outcome;
  }
  // A device that first went missing may come back refusing the settings: that is told too.
  if (!outcome.notice.empty() && !noticed_) {
    outcome.noticeIsNew = true;
    noticed_ = true;
  }
  if (!told_ && !port.IsOpen()) {  // open through another path meanwhile: no outage
    WriteErrorLogEntry(
        Format("Portul %s nu poate fi deschis: %s", PortLabel(portName).c_str(), reason.c_str()));
    told_ = true;
  }
  return outcome;
}

}  // namespace strivex
