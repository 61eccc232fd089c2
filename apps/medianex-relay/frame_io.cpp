#include "frame_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "db/relay_wire.h"

namespace strivex::relay {

RelayReadStatus ReadGreeting(int fd, std::string& greeting, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = timeout.count() < 0 ? Clock::time_point::max() : Clock::now() + timeout;
  greeting.assign(kRelayGreetingSize, '\0');
  size_t done = 0;
  while (done < greeting.size()) {
    if (!WaitReadable(fd, deadline)) return RelayReadStatus::kTimedOut;
    const ssize_t n = ::recv(fd, greeting.data() + done, greeting.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return RelayReadStatus::kError;
    }
    if (n == 0) return done == 0 ? RelayReadStatus::kClosed : RelayReadStatus::kTruncated;
    done += static_cast<size_t>(n);
  }
  return RelayReadStatus::kOk;
}

namespace {

// Waits for `events` on `fd` until `deadline`; false when it passed first. A failed poll counts
// as ready: the call that follows reports the failure.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  for (;;) {
    int wait = -1;
    if (deadline != Clock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      wait = static_cast<int>(std::min<long long>(left, 60'000));
    }
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, wait);
    if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
  }
}

}  // namespace

void WaitForBytes(int fd) { WaitFor(fd, POLLIN, std::chrono::steady_clock::time_point::max()); }

WriteStatus WriteAll(int fd, std::string_view bytes, std::chrono::steady_clock::time_point deadline) {
  while (!bytes.empty()) {
    // Never blocks inside send: a send time-out would restart with every byte the peer takes.
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(fd, POLLOUT, deadline)) return WriteStatus::kTimedOut;
    } else if (errno != EINTR) {
      return WriteStatus::kFailed;
    }
  }
  return WriteStatus::kOk;
}

}  // namespace strivex::relay
