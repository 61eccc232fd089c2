#include "db/deadline_watch.h"

#include <system_error>
#include <utility>

namespace strivex {

DeadlineWatch::DeadlineWatch(std::function<void()> expire) : expire_(std::move(expire)) {}

DeadlineWatch::~DeadlineWatch() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void DeadlineWatch::Arm(std::chrono::milliseconds within) {
  {
    std::lock_guard lock(mutex_);
    deadline_ = std::chrono::steady_clock::now() + within;
    expired_ = false;
    try {
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // No thread to spare: the driver's own time-outs are all that is left.
    }
  }
  changed_.notify_all();
}

bool DeadlineWatch::Disarm() {
  std::lock_guard lock(mutex_);
  deadline_.reset();
  return expired_;
}

void DeadlineWatch::Run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!deadline_) {
      changed_.wait(lock);
      continue;
    }
    if (std::chrono::steady_clock::now() < *deadline_) {
      changed_.wait_until(lock, *deadline_);
      continue;
    }
    deadline_.reset();
    expired_ = true;
    lock.unlock();
    expire_();
    lock.lock();
  }
}

}  // namespace strivex
