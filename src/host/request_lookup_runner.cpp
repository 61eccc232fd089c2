#include "host/request_lookup_runner.h"

#include "util/timings.h"
#include "util/worker_failure.h"

namespace strivex {

void RequestLookupRunner::Begin(int32_t requestId, Done done) {
  {
    MutexLock lock(mutex_);
    next_ = requestId;
    done_ = std::move(done);
  }
  // A lookup asked for while one runs is taken up by the task posted for it, or an earlier one.
  RequestCheck check;
  if (worker_.Post([this](const SerialExecutor::Token&) { RunLatest(); }, &check.error)) return;
  check.outcome = RequestCheck::Outcome::kFailed;
  Done failed;
  {
    MutexLock lock(mutex_);
    next_.reset();
    failed = done_;
  }
  if (failed) failed(requestId, check);
}

void RequestLookupRunner::RunLatest() {
  int32_t requestId = 0;
  {
    MutexLock lock(mutex_);
    if (!next_) return;
    requestId = *next_;
    next_.reset();
  }
  RequestCheck check;
  if (const auto failure = RunTask(kLookupWorker, [&] { check = Check(requestId); })) {
    check = RequestCheck{};
    check.outcome = RequestCheck::Outcome::kFailed;
    check.error = *failure;
  }
  Done done;
  {
    MutexLock lock(mutex_);
    done = done_;
  }
  if (done) done(requestId, check);
}

RequestCheck RequestLookupRunner::Check(int32_t requestId) {
  // The reconnection holds the session for a whole login: wait for it, but not past the deadline.
  RequestCheck check;
  const LinkResult result = server_.TryRun(
      [&check, requestId](ServerLink::Scope& link) {
        check = CheckRequest(&link.session(), link.codes().investigation, requestId);
        // A failed statement is classified by the link, which closes a dead connection for the
        // reconnection.
        return check.outcome != RequestCheck::Outcome::kFailed;
      },
      timings::kLookupSessionWait, ServerLink::Needs::kAlways);
  if (result.outcome == LinkOutcome::kBusy) check.outcome = RequestCheck::Outcome::kServerBusy;
  return check;
}

}  // namespace strivex
