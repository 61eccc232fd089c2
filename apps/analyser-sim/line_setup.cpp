#include "line_setup.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstring>

#include "serial/arbitrary_baud.h"
#include "serial/termios_mapping.h"

namespace strivex::sim {

namespace {

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::string DescribeFormat(const termios& tio) {
  static constexpr const char* kSizes[] = {"5", "6", "7", "8"};
  std::string text = kSizes[(tio.c_cflag & CSIZE) == CS5   ? 0
                            : (tio.c_cflag & CSIZE) == CS6 ? 1
                            : (tio.c_cflag & CSIZE) == CS7 ? 2
                                                           : 3];
  text += " data bits, ";
  if (!(tio.c_cflag & PARENB)) return text + "no parity";
  if (tio.c_cflag & CMSPAR) return text + ((tio.c_cflag & PARODD) ? "mark" : "space") + " parity";
  return text + ((tio.c_cflag & PARODD) ? "odd" : "even") + " parity";
}

constexpr tcflag_t kFormatFlags = CSIZE | PARENB | PARODD | CMSPAR;

}  // namespace

LineSetup ApplyLineFormat(int fd, const LineFormat& line, bool pty) {
  LineSetup setup;
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    setup.error = Failure("not a terminal");
    return setup;
  }
  const LineSettings dcb =
      StartupLineSettings(line.baud, line.dataBits, line.parity, line.stopBits);
  if (!MapLineSettings(dcb, tio)) {
    setup.error = "the line settings are out of range";
    return setup;
  }
  const termios wanted = tio;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    if (!pty) {
      setup.error = Failure("setting the line");
      return setup;
    }
    // The pty refuses the character format; raw 8-bit transfer is what matters there.
    tio.c_cflag = (tio.c_cflag & ~kFormatFlags) | CS8;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
      setup.error = Failure("setting raw mode");
      return setup;
    }
  }
  if (!StandardSpeed(line.baud) && !SetArbitraryBaud(fd, line.baud)) {
    if (!pty) {
      setup.error = Failure(("setting " + std::to_string(line.baud) + " baud").c_str());
      return setup;
    }
    setup.warnings.push_back("the pseudo-terminal does not take " + std::to_string(line.baud) +
                             " baud; pacing still uses it");
  }
  termios kept{};
  if (tcgetattr(fd, &kept) == 0 && (kept.c_cflag & kFormatFlags) != (wanted.c_cflag & kFormatFlags))
    setup.warnings.push_back("the device keeps " + DescribeFormat(kept) + " instead of " +
                             DescribeFormat(wanted));
  // The analyser holds its modem lines up like the module does; a pty has none.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (ioctl(fd, TIOCMBIS, &lines) != 0 && !pty)
    setup.warnings.push_back(Failure("raising DTR and RTS"));
  setup.ok = true;
  return setup;
}

}  // namespace strivex::sim
