#include "host/request_lookup_runner.h"

#include <system_error>

namespace strivex {

namespace {

constexpr auto kSessionPoll = std::chrono::milliseconds(20);

}  // namespace

void RequestLookupRunner::Begin(int32_t requestId, Done done) {
  {
    std::lock_guard lock(mutex_);
    next_ = requestId;
    done_ = std::move(done);
    if (running_) return;
    running_ = true;
  }
  // The previous worker has said it ends: joining it costs nothing.
  Join();
  try {
    worker_ = std::thread([this] { Run(); });
  } catch (const std::system_error& error) {
    RequestCheck check;
    check.outcome = RequestCheck::Outcome::kFailed;
    check.error = error.what();
    Done failed;
    {
      std::lock_guard lock(mutex_);
      running_ = false;
      next_.reset();
      failed = done_;
    }
    if (failed) failed(requestId, check);
  }
}

void RequestLookupRunner::Run() {
  for (;;) {
    int32_t requestId = 0;
    {
      std::lock_guard lock(mutex_);
      if (!next_) {
        running_ = false;
        return;
      }
      requestId = *next_;
      next_.reset();
    }
    const RequestCheck check = Check(requestId);
    Done done;
    {
      std::lock_guard lock(mutex_);
      done = done_;
    }
    if (done) done(requestId, check);
  }
}

RequestCheck RequestLookupRunner::Check(int32_t requestId) {
  // The reconnection holds the session for a whole login: wait for it, but not past the deadline.
  std::unique_lock session(context_.serverMutex, std::defer_lock);
  const auto deadline = std::chrono::steady_clock::now() + kLookupSessionWait;
  while (!session.try_lock()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      RequestCheck busy;
      busy.outcome = RequestCheck::Outcome::kServerBusy;
      return busy;
    }
    std::this_thread::sleep_for(kSessionPoll);
  }
  return CheckRequest(context_.serverSession, context_.investigationCodes, requestId);
}

void RequestLookupRunner::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace strivex
