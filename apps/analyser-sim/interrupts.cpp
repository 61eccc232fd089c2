#include "interrupts.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "util/stop_signals.h"

namespace strivex::sim {

// A closed reader of standard output must give a write error, not end the process: the shared
// set-up ignores SIGPIPE too.
Interrupts::Interrupts() : signals_(BlockStopSignals()) {}

bool Interrupts::Requested() const { return Wait(-1, 0, Clock::now()) == WaitResult::kInterrupted; }

WaitResult Interrupts::Wait(int fd, short events, std::optional<Clock::time_point> deadline) const {
  for (;;) {
    pollfd fds[2] = {{signals_.get(), POLLIN, 0}, {fd, events, 0}};
    timespec timeout{};
    timespec* timeoutPointer = nullptr;
    if (deadline) {
      const auto left = std::max(*deadline - Clock::now(), Clock::duration::zero());
      const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
      timeoutPointer = &timeout;
    }
    const int ready = ppoll(fds, fd >= 0 ? 2 : 1, timeoutPointer, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "ppoll");
    }
    if (fds[0].revents != 0) return WaitResult::kInterrupted;
    if (fd >= 0 && fds[1].revents != 0) return WaitResult::kReady;
    if (deadline && Clock::now() >= *deadline) return WaitResult::kTimedOut;
  }
}

Interrupts::Clock::time_point Interrupts::DeadlineIn(std::chrono::duration<double> seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(seconds);
}

bool Interrupts::SleepUntil(Clock::time_point deadline) const {
  return Wait(-1, 0, deadline) != WaitResult::kInterrupted;
}

bool Interrupts::SleepFor(std::chrono::duration<double> seconds) const {
  return SleepUntil(DeadlineIn(seconds));
}

}  // namespace strivex::sim
