#pragma once
// Relay frames (see relay_wire.h) read off a stream socket, by both ends of the relay. Reads are
// buffered, so the frames that arrive together (a value and its status, a request's two
// messages) cost one receive instead of two per frame.

#include <cstddef>
#include <cstdint>
#include <string>

#include "db/relay_wire.h"

namespace strivex {

// One frame as read: its request number and text.
struct RelayFrame {
  int32_t number = 0;
  std::string text;
};

// Why a read gave no frame; after anything but kOk the stream is done.
enum class RelayReadStatus {
  kOk,         // a whole frame came
  kClosed,     // orderly close before the first byte of a frame
  kTruncated,  // the peer closed inside a frame
  kBadLength,  // length < 1 or > kRelayMaxText: the stream cannot be resynchronised
  kError,      // the socket failed
};

// One stream's reader; used by one thread at a time.
class RelayFrameReader {
 public:
  // Reads from `fd`, which the caller keeps open for the reader's lifetime.
  explicit RelayFrameReader(int fd);

  // Blocks until a whole frame came or the stream cannot give one; after anything but kOk the
  // stream is done.
  RelayReadStatus Next(RelayFrame& frame);

 private:
  // Receives more bytes into the buffer; kOk when some came.
  RelayReadStatus Fill();
  size_t Buffered() const { return end_ - start_; }

  int fd_;
  std::string buffer_;  // fixed size: one whole frame always fits once the read part is dropped
  size_t start_ = 0;    // first unread byte
  size_t end_ = 0;      // one past the last received byte
};

}  // namespace strivex
