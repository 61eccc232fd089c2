#include "pacing.h"

#include <cmath>

namespace strivex::sim {

namespace {

constexpr double kBurstSeconds = 0.010;

double StopBits(uint8_t code) {
  switch (code) {
    case ONE5STOPBITS: return 1.5;
    case TWOSTOPBITS: return 2.0;
    default: return 1.0;
  }
}

}  // namespace

double BitsPerCharacter(const LineFormat& line) {
  return 1.0 + line.dataBits + (line.parity != NOPARITY ? 1.0 : 0.0) + StopBits(line.stopBits);
}

std::chrono::nanoseconds CharacterTime(const LineFormat& line) { return TransmitTime(line, 1); }

std::chrono::nanoseconds TransmitTime(const LineFormat& line, size_t characters) {
  // In bits first: one rounding per call, so long reports do not accumulate per-character error.
  const double seconds = static_cast<double>(characters) * BitsPerCharacter(line) / line.baud;
  return std::chrono::nanoseconds(std::llround(seconds * 1e9));
}

size_t BurstSize(const LineFormat& line) {
  const double perBurst = kBurstSeconds * line.baud / BitsPerCharacter(line);
  return perBurst < 1.0 ? 1 : static_cast<size_t>(perBurst);
}

}  // namespace strivex::sim
