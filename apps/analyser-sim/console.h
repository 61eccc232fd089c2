#pragma once
// Standard output carries results (the device path, frames), standard error the progress log.
// Both threads write whole lines, flushed at once, so a reader of the pipe sees every line as
// soon as it happens and never a mixed one.

#include <string_view>

namespace strivex::sim {

// The name log lines start with.
inline constexpr std::string_view kProgramName = "analyser-sim";

// One line on standard output; false when it could not be written.
bool PrintLine(std::string_view line);

// "analyser-sim: <message>" on standard error.
void Log(std::string_view message);

}  // namespace strivex::sim
