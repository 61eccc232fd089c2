#pragma once
// Locks that clang's thread-safety analysis (-Wthread-safety) can check: state marked
// GUARDED_BY(m) may only be touched with `m` held, functions marked REQUIRES(m) only be called
// with it. Other compilers see plain std::mutex and empty macros.

#include <chrono>
#include <mutex>
#include <thread>

#include "util/timings.h"

#if defined(__clang__)
#define STRIVEX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define STRIVEX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) STRIVEX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY STRIVEX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) STRIVEX_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) STRIVEX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) STRIVEX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) STRIVEX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) STRIVEX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) STRIVEX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))

namespace strivex {

// A timed mutex as a capability the analysis knows: a thread that must not wait long (the
// window's) tries it, or waits for it with a deadline.
class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  // Polls try_lock rather than the timed lock, whose pthread call the thread sanitizer does not
  // see (it would then report every unlock as one of an unlocked mutex). Waits are short here.
  bool try_lock_for(std::chrono::milliseconds wait) TRY_ACQUIRE(true) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      if (mutex_.try_lock()) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(timings::kLockPollStep);
    }
  }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  // Takes over a lock this thread already holds (a try_lock that succeeded).
  MutexLock(Mutex& mutex, std::adopt_lock_t) REQUIRES(mutex) : mutex_(mutex) {}
  ~MutexLock() RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace strivex
