#pragma once
// The command line of the simulator: which line to play on, how the line is set, what to send
// and how long to wait for the module's frames.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "line_format.h"

namespace strivex::sim {

// What the command line asked for.
struct SimOptions {
  bool help = false;
  bool version = false;
  bool pty = false;
  std::optional<std::string> port;  // as given; DevicePathForPort makes it a path
  LineFormat line;
  std::vector<std::string> reports;  // files sent in order, before the generated ones
  int generate = 0;                  // generated one-sample reports to send
  std::optional<uint64_t> seed;  // time-based when not given
  bool pace = true;                 // send at the line rate
  double startDelaySeconds = 1.0;   // after the module opened the line
  double gapSeconds = 6.0;          // silence after each report
  double timeoutSeconds = 120.0;    // for the expected frames
  std::optional<int> expectFrames;  // good frames to wait for before exiting
  std::optional<std::string> framesFile;  // where good frames are written, one a line
  bool exitAfterSend = false;
};

// The options, or why the command line is not usable.
struct ParsedOptions {
  SimOptions options;
  std::string error;  // empty when the command line is usable

  bool ok() const { return error.empty(); }
};

// `args` excludes the program name. Values follow their option as the next argument or after
// '=' ("--baud=2400"). An error names the option and what is wrong with it.
ParsedOptions ParseOptions(std::span<const std::string_view> args);

// The --help text.
extern const std::string_view kUsage;

}  // namespace strivex::sim
