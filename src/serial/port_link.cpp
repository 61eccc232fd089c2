#include "serial/port_link.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace strivex {

PortLink::PortLink() : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PortLink::~PortLink() {
  if (wakeFd >= 0) ::close(wakeFd);
}

void PortLink::Wake() {
  const uint64_t one = 1;
  if (wakeFd >= 0) [[maybe_unused]] auto ignored = ::write(wakeFd, &one, sizeof one);
}

void PortLink::DrainWake() {
  uint64_t count = 0;
  if (wakeFd >= 0) [[maybe_unused]] auto ignored = ::read(wakeFd, &count, sizeof count);
}

}  // namespace strivex
