#pragma once
// Wakes a waiting worker at once when there is work or a stop, instead of leaving it to its next
// poll. A notification given while nobody waits is kept for the next wait, so none is missed.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace strivex {

class WakeSignal {
 public:
  // Any thread.
  void Notify() {
    {
      std::lock_guard lock(mutex_);
      pending_ = true;
    }
    changed_.notify_all();
  }

  // Returns at a notification (true) or after `timeout` (false); consumes the notification.
  template <class Rep, class Period>
  bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock lock(mutex_);
    const bool woken = changed_.wait_for(lock, timeout, [this] { return pending_; });
    pending_ = false;
    return woken;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool pending_ = false;
};

}  // namespace strivex
