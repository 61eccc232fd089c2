#include "db/heap_watch.h"

#include <malloc.h>

#include <utility>

#include "util/sanitizer_build.h"

#ifdef STRIVEX_SANITIZER_ALLOCATOR
// The sanitizers' runtime has it; GCC ships no header declaring it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace strivex {

size_t HeapInUse() {
#ifdef STRIVEX_SANITIZER_ALLOCATOR
  // The sanitizers replace malloc: glibc's figures would stay still.
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // chunks in use in every arena, and mapped blocks
#endif
}

HeapWatch::HeapWatch(size_t budget, std::function<void()> cancel)
    : start_(HeapInUse()), budget_(budget), cancel_(std::move(cancel)), watcher_([this] { Watch(); }) {}

HeapWatch::~HeapWatch() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  watcher_.join();
}

size_t HeapWatch::Grown() const {
  const size_t now = HeapInUse();
  return now > start_ ? now - start_ : 0;
}

void HeapWatch::Watch() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, kPeriod, [this] { return stop_; })) {
    if (Grown() <= budget_) continue;
    fired_.store(true);
    lock.unlock();
    cancel_();
    return;
  }
}

}  // namespace strivex
