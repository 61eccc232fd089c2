#pragma once
// A connected pair of local stream sockets for the relay targets: the input goes in one end and
// the code under test reads the other, as it reads a TCP peer.

#include <sys/socket.h>
#include <unistd.h>

#include <string_view>

#include "fuzz_check.h"

namespace strivex::fuzz {

class SocketPair {
 public:
  SocketPair() {
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) == 0, "socketpair");
  }
  ~SocketPair() {
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  int Near() const { return fds_[0]; }  // the end the code under test reads
  int Far() const { return fds_[1]; }   // the peer's end

  // Writes all of `bytes` from the peer's end (the socket buffer holds a fuzz input whole).
  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fds_[1], bytes.data(), bytes.size(), MSG_NOSIGNAL);
      FUZZ_CHECK(n > 0, "the peer's write");
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  // The peer stops writing: the reader then sees an orderly close.
  void ShutFar() { ::shutdown(fds_[1], SHUT_WR); }

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace strivex::fuzz
