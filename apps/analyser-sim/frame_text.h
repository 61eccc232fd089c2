#pragma once
// The lines standard output carries for what arrives from the module: one per frame and one per
// run of bytes that is not a frame, each a single line whatever bytes came in.

#include <string>
#include <string_view>

#include "frame_decoder.h"

namespace strivex::sim {

// Printable ASCII as is except the backslash ("\\"); tab, CR and LF as "\t", "\r", "\n"; every
// other byte as "\xHH" in lower-case hex.
std::string EscapeBytes(std::string_view bytes);

// "frame N: request ... check ok" or "... check BAD (got 0xHH, want 0xHH)".
std::string FrameLine(int number, const Frame& frame);

// "garbage N bytes: <escaped bytes>".
std::string GarbageLine(const Garbage& garbage);

}  // namespace strivex::sim
