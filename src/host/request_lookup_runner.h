#pragma once
// Looks up the request an operator is about to give unassigned results, off the window's thread:
// the server session may be busy with a login or a slow statement, and the window must keep
// painting and answering meanwhile.

#include <functional>
#include <optional>

#include "host/server_link.h"
#include "host/request_code.h"
#include "util/serial_executor.h"
#include "util/thread_annotations.h"

namespace strivex {

class RequestLookupRunner {
 public:
  using Done = std::function<void(int32_t requestId, const RequestCheck& check)>;

  // `server` must outlive the runner.
  explicit RequestLookupRunner(ServerLink& server) : server_(server) {}
  ~RequestLookupRunner() { Join(); }
  RequestLookupRunner(const RequestLookupRunner&) = delete;
  RequestLookupRunner& operator=(const RequestLookupRunner&) = delete;

  // Window's thread. Looks `requestId` up on a worker and calls `done` there with the answer. A
  // lookup asked for while one runs follows it; only the latest waits, with the latest `done`.
  void Begin(int32_t requestId, Done done) EXCLUDES(mutex_);
  // Waits for the lookups in progress (the shutdown, before the sessions close).
  void Join() { worker_.Drain(); }

 private:
  // The latest lookup asked for, if one is still to run.
  void RunLatest() EXCLUDES(mutex_);
  RequestCheck Check(int32_t requestId);

  ServerLink& server_;
  // Handed from the window to the worker.
  Mutex mutex_;
  std::optional<int32_t> next_ GUARDED_BY(mutex_);
  Done done_ GUARDED_BY(mutex_);
  SerialExecutor worker_{kLookupWorker};  // last: ends before what its tasks use goes
};

}  // namespace strivex
