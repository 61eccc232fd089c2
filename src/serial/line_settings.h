#pragma once
// The serial line's settings, kept with the field names and widths of the device-control block
// the settings have always been stored and exchanged in, so values read from the local database
// and chosen in the settings dialog map one to one.

#include <cstdint>

namespace strivex {

// The parity values the settings store and the block's Parity field holds.
enum Parity : uint8_t {
  NOPARITY = 0,
  ODDPARITY = 1,
  EVENPARITY = 2,
  MARKPARITY = 3,
  SPACEPARITY = 4,
};

// The stop-bit values the settings store and the block's StopBits field holds.
enum StopBits : uint8_t {
  ONESTOPBIT = 0,
  ONE5STOPBITS = 1,
  TWOSTOPBITS = 2,
};

// fDtrControl / fRtsControl value: raise the line while the port is open.
inline constexpr uint32_t DTR_CONTROL_ENABLE = 1;
inline constexpr uint32_t RTS_CONTROL_ENABLE = 1;

// The device-control block. Only BaudRate, ByteSize, Parity, StopBits and the DTR/RTS controls
// reach the line; the rest is kept as the block has always carried it.
struct LineSettings {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;
  uint32_t fBinary : 1 = 0;
  uint32_t fParity : 1 = 0;
  uint32_t fOutxCtsFlow : 1 = 0;
  uint32_t fOutxDsrFlow : 1 = 0;
  uint32_t fDtrControl : 2 = 0;
  uint32_t fDsrSensitivity : 1 = 0;
  uint32_t fTXContinueOnXoff : 1 = 0;
  uint32_t fOutX : 1 = 0;
  uint32_t fInX : 1 = 0;
  uint32_t fErrorChar : 1 = 0;
  uint32_t fNull : 1 = 0;
  uint32_t fRtsControl : 2 = 0;
  uint32_t fAbortOnError : 1 = 0;
  uint32_t fDummy2 : 17 = 0;
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;

  friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// The block keeps the size it has always declared in DCBlength, and its bit fields their widths.
static_assert(sizeof(LineSettings) == 28);
static_assert([] {
  LineSettings dcb;
  dcb.fDtrControl = 3;
  dcb.fRtsControl = 3;
  dcb.fDummy2 = 0x1FFFF;
  return dcb.fDtrControl == 3 && dcb.fRtsControl == 3 && dcb.fDummy2 == 0x1FFFF &&
         dcb.fAbortOnError == 0 && dcb.fNull == 0;
}());

// The settings the module opens the port with: the four chosen values and the fixed rest
// (binary mode, DTR and RTS on, no flow control). Values are not checked here; Open refuses
// what no line can take.
LineSettings StartupLineSettings(uint32_t baudRate, uint8_t byteSize, uint8_t parity,
                                 uint8_t stopBits);

}  // namespace strivex
