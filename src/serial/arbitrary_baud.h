#pragma once
// Rates without a speed constant (14400, 56000, 128000, 256000) go through the kernel's
// arbitrary-rate interface, which USB adapters and most UARTs accept.

#include <cstdint>

namespace strivex {

// Sets input and output speed of the open terminal `fd` to `baudRate`; false with errno set when
// the device refuses it.
bool SetArbitraryBaud(int fd, uint32_t baudRate);

// The output speed the device reports, in bits per second (0 when it cannot be read).
uint32_t ReadBaud(int fd);

}  // namespace strivex
