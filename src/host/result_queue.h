#pragma once
// Interpreted messages waiting to be stored: the processing thread appends at the tail, the upload
// thread works on the head and removes it when it is stored. Both ends go through one mutex, so
// nothing appended while the head is removed is lost.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "protocol/records.h"

namespace strivex {

// The samples of one interpreted message.
struct ResultBatch {
  SampleList samples;
  int64_t outboxMessageId = 0;  // 0: the outbox could not take it, so it is sent from memory
  SampleList unassigned;        // printouts without a sample, one pseudo-sample (request 0) each
};

// Any thread may call every member.
class ResultQueue {
 public:
  // Queues the samples as one batch at the tail; 0 for a batch the outbox could not take.
  void Append(SampleList samples, int64_t outboxMessageId = 0, SampleList unassigned = {});
  // The oldest batch, or null; it stays queued (and stable) until RemoveHead.
  ResultBatch* Head();
  // Frees the oldest batch; nothing when the queue is empty.
  void RemoveHead();
  // Whether no batch is queued.
  bool Empty() const;
  // The number of batches queued.
  size_t Size() const;
  // Frees every batch still queued.
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<std::unique_ptr<ResultBatch>> batches_;
};

}  // namespace strivex
