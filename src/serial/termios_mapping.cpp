#include "serial/termios_mapping.h"

namespace strivex {

std::optional<speed_t> StandardSpeed(uint32_t baudRate) {
  switch (baudRate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return std::nullopt;
  }
}

namespace {

tcflag_t CharacterSize(uint8_t bits) {
  switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

}  // namespace

bool MapLineSettings(const LineSettings& dcb, termios& tio) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS) {
    return false;
  }
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | CharacterSize(dcb.ByteSize);
  switch (dcb.Parity) {
    case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio.c_cflag |= PARENB; break;
    case MARKPARITY: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // Linux has no 1.5 stop bits; the UART sends 2, which any receiver set for 1.5 accepts.
  if (dcb.StopBits != ONESTOPBIT) tio.c_cflag |= CSTOPB;
  cfsetspeed(&tio, StandardSpeed(dcb.BaudRate).value_or(B38400));
  return true;
}

void MapReadTimeout(termios& tio) {
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 10;  // tenths of a second
}

}  // namespace strivex
