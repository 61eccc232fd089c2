#include "serial/port_link.h"

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace strivex {

PortLink::PortLink() : wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void PortLink::Wake() {
  const uint64_t one = 1;
  if (wakeFd.valid()) [[maybe_unused]] auto ignored = ::write(wakeFd.get(), &one, sizeof one);
}

void PortLink::DrainWake() {
  uint64_t count = 0;
  if (wakeFd.valid()) [[maybe_unused]] auto ignored = ::read(wakeFd.get(), &count, sizeof count);
}

}  // namespace strivex
