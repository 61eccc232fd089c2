#pragma once
// The analyser's end of the serial line: a pseudo-terminal the module opens by path, or an
// existing serial device. Non-blocking, so every wait can also watch for signals.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "line_format.h"
#include "util/unique_fd.h"

namespace strivex::sim {

// Used by the sending thread; the frame listener only reads from fd().
class Device {
 public:
  // A device, or why there is none, and what its settings lacked.
  struct Opened;

  // A new pseudo-terminal pair; path() is the device the module opens. Our own handle of that
  // side is closed at once: only then does the other side report whether someone has it open.
  static Opened OpenPty(const LineFormat& line);
  // `path` as DevicePathForPort gives it.
  static Opened OpenPort(const std::string& path, const LineFormat& line);

  // The non-blocking descriptor of our end; the device keeps owning it.
  int fd() const { return fd_.get(); }
  // Whether this is a pseudo-terminal we made.
  bool pty() const { return pty_; }
  // The path the module opens.
  const std::string& path() const { return path_; }

  // Whether the module has the line open. Always true for a serial device, whose far end cannot
  // be seen. On a pty, bytes written while no one has it open would wait there and reach the
  // next opener as stale input, so sending waits for this.
  bool PeerPresent() const;

  // Whether the module has bytes on a pty that it has not read yet. Closing our end hangs the
  // line up and throws them away, so the simulator waits for this before it exits.
  bool PeerHasUnreadBytes() const;

  // Waits until the bytes written so far have left a serial device (a pty has nothing to wait
  // for), so the gap after a report is real line silence.
  void Drain() const;

 private:
  Device(UniqueFd fd, bool pty, std::string path)
      : fd_(std::move(fd)), pty_(pty), path_(std::move(path)) {}

  UniqueFd fd_;
  bool pty_ = false;
  std::string path_;
};

struct Device::Opened {
  std::optional<Device> device;
  std::string error;                  // when there is no device
  std::vector<std::string> warnings;  // settings the device did not take
};

}  // namespace strivex::sim
