#include "worklist/frame_queue.h"

namespace strivex {

void FrameQueue::Append(std::vector<QueuedFrame> frames) {
  std::lock_guard lock(mutex_);
  for (QueuedFrame& frame : frames) frames_.push_back(std::move(frame));
}

std::optional<QueuedFrame> FrameQueue::Front() const {
  std::lock_guard lock(mutex_);
  if (frames_.empty()) return std::nullopt;
  return frames_.front();
}

void FrameQueue::PopFront() {
  std::lock_guard lock(mutex_);
  if (!frames_.empty()) frames_.pop_front();
}

size_t FrameQueue::Size() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

}  // namespace strivex
