#pragma once
// SIGINT and SIGTERM end the simulator cleanly at any wait. They are blocked in every thread and
// read through a signalfd that no one consumes: once one is pending, every wait sees it.
// Construct before starting any thread, so the threads inherit the blocked mask.

#include <poll.h>

#include <chrono>
#include <optional>

#include "util/unique_fd.h"

namespace strivex::sim {

// How a wait ended.
enum class WaitResult { kReady, kTimedOut, kInterrupted };

class Interrupts {
 public:
  using Clock = std::chrono::steady_clock;

  Interrupts();  // throws std::system_error when the signals cannot be redirected
  Interrupts(const Interrupts&) = delete;
  Interrupts& operator=(const Interrupts&) = delete;

  // Whether SIGINT or SIGTERM has arrived; any thread.
  bool Requested() const;

  // The moment `seconds` from now.
  static Clock::time_point DeadlineIn(std::chrono::duration<double> seconds);

  // Waits until `fd` reports one of `events` (or an error or hang-up), `deadline` passes, or a
  // signal arrives. Without a deadline it waits as long as it takes; `fd` -1 waits for the
  // deadline or a signal alone.
  WaitResult Wait(int fd, short events, std::optional<Clock::time_point> deadline) const;

  // Sleeps until `deadline`; false when a signal cut the sleep short.
  bool SleepUntil(Clock::time_point deadline) const;
  // Sleeps `seconds`; false when a signal cut the sleep short.
  bool SleepFor(std::chrono::duration<double> seconds) const;

 private:
  UniqueFd signals_;
};

}  // namespace strivex::sim
