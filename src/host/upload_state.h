#pragma once
// What the upload works with and reports: the result queue and the outbox the start-up attaches,
// the retry rules, the signals that wake it, its stop, and what it publishes of its progress and
// of the outbox's counts.

#include <atomic>
#include <cstdint>
#include <functional>

#include "outbox/outbox_row.h"
#include "outbox/retry_rules.h"
#include "util/thread_annotations.h"
#include "util/wake_signal.h"

namespace strivex {

class OutboxStore;
class ResultQueue;

class UploadState {
 public:
  // Unix seconds; the system clock unless a test sets one.
  using UnixClock = std::function<int64_t()>;

  UploadState() = default;
  UploadState(const UploadState&) = delete;
  UploadState& operator=(const UploadState&) = delete;

  // The start-up, before the workers run: every result waits in `outbox` until the server
  // confirmed it; null when the file cannot be opened (results are then sent from memory, once).
  void Attach(ResultQueue* queue, OutboxStore* outbox);
  // Null: the shutdown, once the workers ended and before the outbox closes.
  void SetOutbox(OutboxStore* outbox) { outbox_ = outbox; }
  ResultQueue* queue() const { return queue_; }
  OutboxStore* outbox() const { return outbox_; }

  // Tests set these before the workers start.
  void SetRetryPolicy(RetryPolicy policy) { retryPolicy_ = policy; }
  void SetUnixClock(UnixClock clock) { unixClock_ = std::move(clock); }
  // Called before each outbox row is sent; a throw stands for a failure in handling it.
  void SetSendFault(std::function<void(const OutboxRow&)> fault) { sendFault_ = std::move(fault); }
  const RetryPolicy& retryPolicy() const { return retryPolicy_; }
  int64_t Now() const;
  void CheckSendFault(const OutboxRow& row) const {
    if (sendFault_) sendFault_(row);
  }

  // Wakes the upload thread: a new batch, the server back, a stop.
  WakeSignal& wake() { return wake_; }
  // Wakes the reconnection: the upload found the session lost.
  WakeSignal& serverLost() { return serverLost_; }

  // The shutdown: store what is left, then end. Any thread.
  void RequestStop() { stop_.store(1); }
  void ClearStop() { stop_.store(0); }
  bool Stopping() const { return stop_.load() != 0; }
  // Whether the upload thread is not running (set until it starts and once it ended).
  void SetFinished(bool finished) { finished_.store(finished ? 1 : 0); }
  bool Finished() const { return finished_.load() != 0; }

  // Percent of the batch being stored.
  void SetProgress(int32_t percent) { progress_.store(percent); }
  int32_t progress() const { return progress_.load(); }
  // The outbox's counts as the upload last read them (the panel counts on its own connection
  // when it has one).
  void SetBacklog(const OutboxStats& stats) EXCLUDES(mutex_);
  void SetUnassigned(int64_t unassigned) EXCLUDES(mutex_);
  OutboxStats backlog() const EXCLUDES(mutex_);
  // A message could not be committed to the outbox. Returns whether it already was.
  bool MarkOutboxFailed(bool failed) { return outboxFailed_.exchange(failed ? 1 : 0) != 0; }
  bool OutboxFailed() const { return outboxFailed_.load() != 0; }
  // Unix seconds of the last result the server confirmed; 0 until then.
  void MarkStored(int64_t at) { lastStoredAt_.store(at); }
  int64_t lastStoredAt() const { return lastStoredAt_.load(); }

 private:
  // Written by the start-up (or a test) before any worker reads them.
  ResultQueue* queue_ = nullptr;
  OutboxStore* outbox_ = nullptr;
  RetryPolicy retryPolicy_;
  UnixClock unixClock_;
  std::function<void(const OutboxRow&)> sendFault_;

  WakeSignal wake_;
  WakeSignal serverLost_;
  std::atomic<uint8_t> stop_{0};
  std::atomic<uint8_t> finished_{1};
  std::atomic<int32_t> progress_{0};
  std::atomic<uint8_t> outboxFailed_{0};
  std::atomic<int64_t> lastStoredAt_{0};
  mutable Mutex mutex_;
  OutboxStats backlog_ GUARDED_BY(mutex_);
};

}  // namespace strivex
