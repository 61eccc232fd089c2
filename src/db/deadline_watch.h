#pragma once
// A deadline kept by a thread of its own: when it passes before the caller disarms it, `expire`
// runs there. A call blocked in a driver cannot watch its own clock; this is how it is ended from
// outside.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace strivex {

class DeadlineWatch {
 public:
  // `expire` runs on the watch's thread, without the watch's lock held.
  explicit DeadlineWatch(std::function<void()> expire);
  // Ends the thread; a deadline still armed is dropped.
  ~DeadlineWatch();
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;

  // Starts counting `within` from now (the thread starts with the first deadline).
  void Arm(std::chrono::milliseconds within);
  // Stops counting; true when the deadline passed first.
  bool Disarm();

 private:
  void Run();

  std::function<void()> expire_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;  // under mutex_
  bool expired_ = false;                                          // under mutex_
  bool quit_ = false;                                             // under mutex_
  std::thread thread_;  // started by the first Arm, which the owner's callers take turns at
};

}  // namespace strivex
