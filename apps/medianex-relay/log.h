#pragma once
// Whole lines on standard error and output, safe from every connection thread.

#include <string>
#include <string_view>

namespace strivex::relay {

// Writes "medianex-relay: <line>" to standard error, flushed; any thread.
void LogLine(std::string_view line);
// Writes the line to standard output, flushed; false when it fails. Any thread.
bool PrintLine(std::string_view line);

// Client-supplied text made safe for one log line: bytes outside 0x20-0x7E become \xHH.
std::string Printable(std::string_view text);

}  // namespace strivex::relay
