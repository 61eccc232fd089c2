#include "device.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "line_setup.h"

namespace strivex::sim {

namespace {

// Character-device majors of pseudo-terminal devices (Linux devices.txt).
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

Device::Opened Device::OpenPty(const LineFormat& line) {
  Opened opened;
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    opened.error = SystemError("cannot create a pseudo-terminal");
    return opened;
  }
  UniqueFd masterFd(master);
  UniqueFd slaveFd(slave);
  char name[PATH_MAX];
  if (const int error = ttyname_r(slaveFd.get(), name, sizeof name); error != 0) {
    errno = error;
    opened.error = SystemError("cannot name the pseudo-terminal");
    return opened;
  }
  // The settings belong to the side the module opens; they stay after we let go of it.
  LineSetup setup = ApplyLineFormat(slaveFd.get(), line, /*pty=*/true);
  if (!setup.ok) {
    opened.error = std::string(name) + ": " + setup.error;
    return opened;
  }
  if (fcntl(masterFd.get(), F_SETFL, O_NONBLOCK) != 0 ||
      fcntl(masterFd.get(), F_SETFD, FD_CLOEXEC) != 0) {
    opened.error = SystemError("cannot set up the pseudo-terminal");
    return opened;
  }
  slaveFd.Reset();
  opened.warnings = std::move(setup.warnings);
  opened.device.emplace(Device(std::move(masterFd), true, name));
  return opened;
}

Device::Opened Device::OpenPort(const std::string& path, const LineFormat& line) {
  Opened opened;
  UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    opened.error = SystemError("cannot open " + path);
    return opened;
  }
  // A pty given by path (a pair made elsewhere) is treated as leniently as our own.
  struct stat status {};
  const bool pty = fstat(fd.get(), &status) == 0 && S_ISCHR(status.st_mode) &&
                   major(status.st_rdev) >= kFirstPtyMajor &&
                   major(status.st_rdev) <= kLastPtyMajor;
  LineSetup setup = ApplyLineFormat(fd.get(), line, pty);
  if (!setup.ok) {
    opened.error = path + ": " + setup.error;
    return opened;
  }
  opened.warnings = std::move(setup.warnings);
  opened.device.emplace(Device(std::move(fd), false, path));
  return opened;
}

bool Device::PeerPresent() const {
  if (!pty_) return true;
  pollfd master{fd_.get(), 0, 0};
  return poll(&master, 1, 0) >= 0 && (master.revents & POLLHUP) == 0;
}

bool Device::PeerHasUnreadBytes() const {
  if (!pty_ || !PeerPresent()) return false;
  // A second handle of the module's side; polling it also moves bytes still in flight from our
  // side into its input, so nothing just written is missed.
  const UniqueFd look(open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  // The module holds its line exclusively unless we are root: we cannot look, so assume it has.
  if (!look.valid()) return errno == EBUSY;
  pollfd input{look.get(), POLLIN, 0};
  return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
}

void Device::Drain() const {
  if (!pty_) tcdrain(fd_.get());
}

}  // namespace strivex::sim
