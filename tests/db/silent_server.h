#pragma once
// Servers on 127.0.0.1 that never answer, for the waits of a session: one whose connections are
// let in by the system and then left without a byte, and one whose queue is full, so that a
// connection is never even made.

#include <cstdint>

#include "util/unique_fd.h"

namespace strivex::testing {

class SilentServer {
 public:
  enum Kind {
    kMute,  // connections are made, nothing is ever read or written
    kFull,  // connections are never made: the listen queue is kept full
  };
  // Listens on a free port of 127.0.0.1, or on `address` and `port` (another loopback address
  // beside a real server's port, for clients that take the port from the environment); port() is
  // 0 when it cannot.
  explicit SilentServer(Kind kind, const char* address = "127.0.0.1", uint16_t port = 0);

  uint16_t port() const { return port_; }

 private:
  UniqueFd listener_;
  UniqueFd filler_;  // kFull: the one connection the queue holds
  uint16_t port_ = 0;
};

}  // namespace strivex::testing
