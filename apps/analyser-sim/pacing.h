#pragma once
// How fast a report leaves the analyser: each character takes its start bit, data bits, parity
// bit and stop bits at the line rate. Sending in small bursts at that rate keeps the module's
// silence timer honest even on a pseudo-terminal, which has no rate of its own.

#include <chrono>
#include <cstddef>

#include "line_format.h"

namespace strivex::sim {

// 1 start bit + data bits + 1 if there is a parity bit + 1, 1.5 or 2 stop bits.
double BitsPerCharacter(const LineFormat& line);

// The line time of one character.
std::chrono::nanoseconds CharacterTime(const LineFormat& line);

// When the last of `characters` leaves the line, counted from the start of the first.
std::chrono::nanoseconds TransmitTime(const LineFormat& line, size_t characters);

// Characters per burst: about 10 ms of line time, at least one.
size_t BurstSize(const LineFormat& line);

}  // namespace strivex::sim
