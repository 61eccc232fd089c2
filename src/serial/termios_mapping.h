#pragma once
// How line settings become a terminal configuration: raw 8-bit input and output, the chosen
// character format, no flow control, and reads that return after one byte or one second.

#include <termios.h>

#include <cstdint>
#include <optional>

#include "serial/line_settings.h"

namespace strivex {

// The speed constant for a standard rate; nullopt for a rate only the arbitrary-rate interface
// can set (14400, 56000, 128000, 256000, ...).
std::optional<speed_t> StandardSpeed(uint32_t baudRate);

// Character format, raw mode and no flow control; the speed is set to a standard constant when
// there is one (B38400 as a placeholder otherwise, to be replaced by the arbitrary rate).
// False for settings no line can take: rate 0, data bits outside 5-8, parity above 4, stop bits
// above 2.
bool MapLineSettings(const LineSettings& dcb, termios& tio);

// The read time-out: a read returns after one byte or after one second of silence.
void MapReadTimeout(termios& tio);

}  // namespace strivex
