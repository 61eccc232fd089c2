#pragma once
// What a port shares with its reader thread: the open and reader-running flags, a guard that
// keeps the handle from being closed while the reader waits on it, and a wake-up for that wait.

#include <atomic>
#include <cstdint>
#include <shared_mutex>

namespace strivex {

struct PortLink {
  PortLink();
  ~PortLink();
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  // Interrupts the reader's current wait (it then re-reads the flags and the handle).
  void Wake();
  // Consumes pending wake-ups.
  void DrainWake();

  std::atomic<uint8_t> open{0};
  std::atomic<uint8_t> readerRunning{0};
  std::shared_mutex handleGuard;  // shared while waiting on or using the handle, exclusive to close it
  int wakeFd = -1;                // eventfd
};

}  // namespace strivex
