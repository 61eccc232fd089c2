#pragma once
// Relay frames (see relay_wire.h) read off a stream socket, by both ends of the relay. Reads are
// buffered, so the frames that arrive together (a value and its status, a request's two
// messages) cost one receive instead of two per frame.

#include <chrono>
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
  kBadLength,  // length < 1 or over the reader's bound: the stream cannot be resynchronised
  kError,      // the socket failed
  kTimedOut,   // the wait given to Next ran out
};

// Waits until `fd` has bytes to read (or fails) or `deadline` passes; false when it passed. A
// deadline of time_point::max() means no wait at all: the read that follows blocks.
bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline);

// One stream's reader; used by one thread at a time.
class RelayFrameReader {
 public:
  // Reads from `fd`, which the caller keeps open for the reader's lifetime. A frame's text may be
  // up to `maxText` bytes long; the buffer grows to the longest frame that came.
  explicit RelayFrameReader(int fd, size_t maxText = kRelayMaxText);

  // Blocks until a whole frame came or the stream cannot give one; after anything but kOk the
  // stream is done.
  RelayReadStatus Next(RelayFrame& frame);
  // The same, bounded: the frame's first byte must come within `firstByte` and the whole frame
  // within `whole` of that byte (negative: no bound). A frame begun before counts from this call.
  RelayReadStatus Next(RelayFrame& frame, std::chrono::milliseconds firstByte,
                       std::chrono::milliseconds whole);
  // Whether received bytes wait to be read as frames: a read then needs no new data.
  bool HasBuffered() const { return Buffered() > 0; }

 private:
  using Deadline = std::chrono::steady_clock::time_point;
  // Receives more bytes into the buffer before `deadline` (max(): none); kOk when some came.
  RelayReadStatus Fill(Deadline deadline);
  size_t Buffered() const { return end_ - start_; }

  // Makes room for a whole frame of `size` bytes from start_, dropping the read part.
  void Reserve(size_t size);

  int fd_;
  size_t maxText_;
  std::string buffer_;  // one whole frame fits once the read part is dropped (Reserve)
  size_t start_ = 0;    // first unread byte
  size_t end_ = 0;      // one past the last received byte
};

}  // namespace strivex
