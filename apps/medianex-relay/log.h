#pragma once
// Whole lines on standard error and output, safe from every connection thread.

#include <string>
#include <string_view>

namespace strivex::relay {

void LogLine(std::string_view line);
bool PrintLine(std::string_view line);  // standard output, flushed; false when it fails

// Client-supplied text made safe for one log line: bytes outside 0x20-0x7E become \xHH.
std::string Printable(std::string_view text);

}  // namespace strivex::relay
