// The serial line's settings block and the character format it maps to. What a pseudo-terminal
// keeps of the settings is checked on a real open in port_serial_test.cpp; data bits and parity,
// which a pseudo-terminal drops, only here and on a real device (PortSerialDevice).

#include <gtest/gtest.h>

#include "serial/line_settings.h"
#include "serial/termios_mapping.h"

namespace strivex {
namespace {

TEST(LineSettings, StartupBlockIsTheChosenFormatInTheFixedBlock) {
  const LineSettings expected{.DCBlength = 28,
                              .BaudRate = 19200,
                              .fBinary = 1,
                              .fDtrControl = DTR_CONTROL_ENABLE,
                              .fRtsControl = RTS_CONTROL_ENABLE,
                              .XonLim = 2048,
                              .XoffLim = 512,
                              .ByteSize = 7,
                              .Parity = ODDPARITY,
                              .StopBits = TWOSTOPBITS,
                              .XonChar = 17,
                              .XoffChar = 19};
  EXPECT_EQ(StartupLineSettings(19200, 7, ODDPARITY, TWOSTOPBITS), expected);
}

TEST(TermiosMapping, CharacterFormat) {
  const struct {
    uint8_t bits, parity, stop;
    tcflag_t size, parityFlags;
  } cases[] = {
      {8, NOPARITY, ONESTOPBIT, CS8, 0},
      {7, ODDPARITY, ONESTOPBIT, CS7, PARENB | PARODD},
      {7, EVENPARITY, TWOSTOPBITS, CS7, PARENB},
      {8, MARKPARITY, ONESTOPBIT, CS8, PARENB | PARODD | CMSPAR},
      {8, SPACEPARITY, ONE5STOPBITS, CS8, PARENB | CMSPAR},
      {5, NOPARITY, ONESTOPBIT, CS5, 0},
      {6, EVENPARITY, ONESTOPBIT, CS6, PARENB},
  };
  for (const auto& c : cases) {
    termios tio{};
    tio.c_cflag = PARENB | PARODD | CMSPAR | CS8;  // a previous owner's format must go
    ASSERT_TRUE(MapLineSettings(StartupLineSettings(9600, c.bits, c.parity, c.stop), tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size) << int(c.bits);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags) << int(c.parity);
  }
}

}  // namespace
}  // namespace strivex
