#pragma once
// What a port shares with its reader thread: the open and reader-running flags, a guard that
// keeps the handle from being closed while the reader waits on it, and a wake-up for that wait.

#include <atomic>
#include <cstdint>
#include <shared_mutex>

#include "util/unique_fd.h"

namespace strivex {

struct PortLink {
  PortLink();
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  // Interrupts the reader's current wait (it then re-reads the flags and the handle); any thread.
  void Wake();
  // Consumes pending wake-ups; the reader's thread.
  void DrainWake();

  // 1 while the port has a live handle; the reader clears it when the device goes away.
  std::atomic<uint8_t> open{0};
  std::atomic<uint8_t> readerRunning{0};  // 1 from StartReader until the reader's loop ends
  // Held shared while waiting on or using the handle, exclusive to change or close it.
  std::shared_mutex handleGuard;
  UniqueFd wakeFd;  // eventfd; invalid when none could be made (the waits then end by time-out)
};

}  // namespace strivex
