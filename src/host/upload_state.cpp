#include "host/upload_state.h"

#include "outbox/outbox_store.h"

namespace strivex {

void UploadState::Attach(ResultQueue* queue, OutboxStore* outbox) {
  queue_ = queue;
  outbox_ = outbox;
}

int64_t UploadState::Now() const { return unixClock_ ? unixClock_() : UnixNow(); }

void UploadState::SetBacklog(const OutboxStats& stats) {
  MutexLock lock(mutex_);
  backlog_ = stats;
}

void UploadState::SetUnassigned(int64_t unassigned) {
  MutexLock lock(mutex_);
  backlog_.unassigned = unassigned;
}

OutboxStats UploadState::backlog() const {
  MutexLock lock(mutex_);
  return backlog_;
}

}  // namespace strivex
