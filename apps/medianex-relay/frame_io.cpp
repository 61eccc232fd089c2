#include "frame_io.h"

#include <sys/socket.h>

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

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace strivex::relay
