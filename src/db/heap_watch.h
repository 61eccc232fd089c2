#pragma once
// The heap's growth while a driver reads a result, for drivers that read a whole result into
// memory at execute time (psqlODBC does, FreeTDS streams): the watcher calls `cancel` once, from
// a thread of its own, when the growth passes the budget. The heap is the process's: what other
// threads allocate meanwhile counts too, so the figure is an upper estimate of what the statement
// brought.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

namespace strivex {

// Bytes the process's allocator has handed out and not taken back.
size_t HeapInUse();

class HeapWatch {
 public:
  // Starts watching from the heap as it is now.
  HeapWatch(size_t budget, std::function<void()> cancel);
  // Stops the watcher, after a cancel under way has returned.
  ~HeapWatch();
  HeapWatch(const HeapWatch&) = delete;
  HeapWatch& operator=(const HeapWatch&) = delete;

  // Growth since the start; 0 when the heap shrank.
  size_t Grown() const;
  // Whether the watcher called `cancel`.
  bool Fired() const { return fired_.load(); }

 private:
  // How often the heap is looked at: loopback delivers about 1 GB/s, so a result passes its
  // budget by a few megabytes at most before the cancel goes out.
  static constexpr std::chrono::milliseconds kPeriod{5};

  void Watch();

  const size_t start_;
  const size_t budget_;
  const std::function<void()> cancel_;
  std::atomic<bool> fired_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;  // under mutex_
  std::thread watcher_;  // last: starts once the rest is ready
};

}  // namespace strivex
