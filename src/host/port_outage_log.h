#pragma once
// The analyser's port in "_acterr.log": one entry when it cannot be opened, with the device and
// the system's reason, and one when it is open again, however often it is tried in between (the
// lost-device re-opening tries every 2 s).

#include <mutex>
#include <string>

namespace strivex {

class PortSerial;
struct LineSettings;

// Shared by every path that opens the port (start-up, "Deschid Port", the re-opening); any thread.
class PortOutageLog {
 public:
  // PortSerial::Open with the outcome logged when it changes; returns what Open returned.
  bool Open(PortSerial& port, const std::string& portName, const LineSettings& dcb);

 private:
  std::mutex mutex_;
  bool told_ = false;  // an outage was logged and the port has not been open since
};

}  // namespace strivex
