// Kept in its own file: the kernel's termios2 header clashes with the C library's <termios.h>.
#include "serial/arbitrary_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace strivex {

bool SetArbitraryBaud(int fd, uint32_t baudRate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baudRate;
  tio.c_ospeed = baudRate;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

uint32_t ReadBaud(int fd) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return tio.c_ospeed;
}

}  // namespace strivex
