#pragma once
// The character format on the line, in the codes the module's line settings use.

#include <cstdint>

#include "serial/line_settings.h"

namespace strivex::sim {

// Rate and character format; the module's defaults until the options say otherwise.
struct LineFormat {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;
  uint8_t parity = NOPARITY;
  uint8_t stopBits = ONESTOPBIT;
};

}  // namespace strivex::sim
