#include "sender.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pacing.h"

namespace strivex::sim {

namespace {

constexpr std::chrono::duration<double> kBackOff{0.02};

SendResult WriteAll(int fd, std::string_view bytes, const Interrupts& interrupts,
                    std::string& error) {
  bool waited = false;
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<size_t>(written));
      waited = false;
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) {
      error = std::strerror(errno);
      return SendResult::kFailed;
    }
    // The line's output buffer is full: wait until the far end takes some. A pty whose far end
    // has just been closed reports ready at once while still full, so back off after that.
    const WaitResult result =
        waited ? (interrupts.SleepFor(kBackOff) ? WaitResult::kReady : WaitResult::kInterrupted)
               : interrupts.Wait(fd, POLLOUT, std::nullopt);
    if (result == WaitResult::kInterrupted) return SendResult::kInterrupted;
    waited = true;
  }
  return SendResult::kSent;
}

}  // namespace

SendResult SendBytes(int fd, std::string_view bytes, const std::optional<LineFormat>& pace,
                     const Interrupts& interrupts, std::string& error) {
  if (!pace) return WriteAll(fd, bytes, interrupts, error);
  const size_t burst = BurstSize(*pace);
  const Interrupts::Clock::time_point start = Interrupts::Clock::now();
  for (size_t sent = 0; sent < bytes.size();) {
    const size_t count = std::min(burst, bytes.size() - sent);
    if (const SendResult result = WriteAll(fd, bytes.substr(sent, count), interrupts, error);
        result != SendResult::kSent) {
      return result;
    }
    sent += count;
    const auto due =
        start + std::chrono::duration_cast<Interrupts::Clock::duration>(TransmitTime(*pace, sent));
    if (!interrupts.SleepUntil(due)) return SendResult::kInterrupted;
  }
  return SendResult::kSent;
}

}  // namespace strivex::sim
