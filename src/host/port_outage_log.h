#pragma once
// The analyser's port in "_acterr.log": one entry when it cannot be opened, with the device and
// the system's reason, and one when it is open again, however often it is tried in between (the
// lost-device re-opening tries every 2 s).

#include <mutex>
#include <string>

namespace strivex {

class PortSerial;
struct LineSettings;

// What one attempt to open the port came to.
struct PortOpenOutcome {
  bool opened = false;
  std::string notice;     // what the operator is told of the failure; empty: nothing
  bool noticeIsNew = false;  // no notice was given since the port was last open
};

// Shared by every path that opens the port (start-up, "Deschid Port", the re-opening); any thread.
class PortOutageLog {
 public:
  // PortSerial::Open with the outcome logged when it changes. Shows nothing: the window's thread
  // shows the notice, a worker hands it to the window once per outage.
  PortOpenOutcome Open(PortSerial& port, const std::string& portName, const LineSettings& dcb);

 private:
  std::mutex mutex_;
  bool told_ = false;     // an outage was logged and the port has not been open since
  bool noticed_ = false;  // a notice was given and the port has not been open since
};

}  // namespace strivex
