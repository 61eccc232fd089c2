#include "host/result_queue.h"

namespace strivex {

void ResultQueue::Append(SampleList samples, int64_t outboxMessageId, SampleList unassigned) {
  auto batch = std::make_unique<ResultBatch>();
  batch->samples = std::move(samples);
  batch->unassigned = std::move(unassigned);
  batch->outboxMessageId = outboxMessageId;
  std::lock_guard lock(mutex_);
  batches_.push_back(std::move(batch));
}

ResultBatch* ResultQueue::Head() {
  std::lock_guard lock(mutex_);
  return batches_.empty() ? nullptr : batches_.front().get();
}

void ResultQueue::RemoveHead() {
  std::unique_ptr<ResultBatch> head;
  {
    std::lock_guard lock(mutex_);
    if (batches_.empty()) return;
    head = std::move(batches_.front());
    batches_.pop_front();
  }
}

bool ResultQueue::Empty() const {
  std::lock_guard lock(mutex_);
  return batches_.empty();
}

size_t ResultQueue::Size() const {
  std::lock_guard lock(mutex_);
  return batches_.size();
}

void ResultQueue::Clear() {
  std::deque<std::unique_ptr<ResultBatch>> gone;
  std::lock_guard lock(mutex_);
  gone.swap(batches_);
}

}  // namespace strivex
