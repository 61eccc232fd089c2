#pragma once
// Work-list frames waiting for the analyser's line. The dialog appends a confirmed run; the frame
// sender takes them oldest first and removes a frame only once it is on the wire, so a closed port
// or a stop never loses one.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace strivex {

struct QueuedFrame {
  std::string frame;  // without the check byte the port appends
  int32_t requestId = 0;
  std::vector<std::string> analysisCodes;  // recorded as sent once the frame is written
};

class FrameQueue {
 public:
  // Appends a confirmed run at the tail, in order. Any thread.
  void Append(std::vector<QueuedFrame> frames);
  // A copy of the oldest frame; none when the queue is empty.
  std::optional<QueuedFrame> Front() const;
  // Removes the oldest frame (after it was written).
  void PopFront();
  size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::deque<QueuedFrame> frames_;
};

}  // namespace strivex
