#pragma once
// Puts a terminal into the module's line settings: raw 8-bit transfer with the chosen rate and
// character format, the same mapping the module uses. A pseudo-terminal keeps neither 7 data
// bits nor parity, and has no modem lines; there that is reported, never an error.

#include <string>
#include <vector>

#include "line_format.h"

namespace strivex::sim {

// The outcome of setting a line up.
struct LineSetup {
  bool ok = false;
  std::string error;                  // why the line cannot be used (when !ok)
  std::vector<std::string> warnings;  // what the device did not take
};

// `pty`: the terminal is a pseudo-terminal, so only raw mode itself must succeed.
LineSetup ApplyLineFormat(int fd, const LineFormat& line, bool pty);

}  // namespace strivex::sim
