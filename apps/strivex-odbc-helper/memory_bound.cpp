#include "memory_bound.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>

#include "db/driver_process.h"
#include "util/sanitizer_build.h"

namespace {

std::atomic<bool> failed{false};

#ifndef STRIVEX_SANITIZER_ALLOCATOR
// A crash after a refused allocation is the limit's doing: the parent is told so by the status.
// Otherwise the handler returns, the default action is back, and the fault recurs (abort raises
// again) so the parent sees the signal.
void OnCrash(int) {
  if (failed.load()) ::_exit(strivex::kDriverOutOfMemoryStatus);
}
#endif

}  // namespace

#ifndef STRIVEX_SANITIZER_ALLOCATOR
// The process's allocation entry points, over glibc's own: a null is marked before it reaches the
// driver. free and the rest stay glibc's, which these blocks belong to.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
  void* block = __libc_malloc(size);
  if (block == nullptr) failed.store(true);
  return block;
}
void* calloc(size_t count, size_t size) {
  void* block = __libc_calloc(count, size);
  if (block == nullptr) failed.store(true);
  return block;
}
void* realloc(void* old, size_t size) {
  void* block = __libc_realloc(old, size);
  if (block == nullptr && size != 0) failed.store(true);
  return block;
}
}
#endif

namespace strivex::helper {

void BoundData(size_t bytes) {
#ifdef STRIVEX_SANITIZER_ALLOCATOR
  static_cast<void>(bytes);
#else
  mallopt(M_ARENA_MAX, 1);
  // Large blocks always mapped, so that a result's go back to the system when it is let go; glibc
  // would otherwise raise the threshold past them and keep them in a heap it cannot trim.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  if (bytes == 0) return;
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_DATA, &limit);
  struct sigaction action {};
  action.sa_handler = OnCrash;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGSEGV, SIGBUS, SIGABRT}) sigaction(signal, &action, nullptr);
#endif
}

bool AllocationFailedSince() { return failed.exchange(false); }

}  // namespace strivex::helper
