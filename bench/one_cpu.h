#pragma once
// Pins a benchmark and the server processes it talks to onto one CPU.

#include <sched.h>
#include <sys/types.h>

// Client and server process on one CPU, for ours and for pgbench alike. Left to the scheduler,
// the server process lands on either CPU of a small machine, and a wake-up across CPUs more than
// doubles a local round trip (55 against 120 us here), so two runs of the same client would differ
// by a factor of two. On one CPU the round trip is at its shortest: the hardest floor to keep up
// with. While an object lives, the calling thread (and what it starts) keeps to that CPU.
class OneCpu {
 public:
  OneCpu() {
    if (sched_getaffinity(0, sizeof saved_, &saved_) != 0) return;
    const cpu_set_t one = Set();
    active_ = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~OneCpu() {
    if (active_) sched_setaffinity(0, sizeof saved_, &saved_);
  }
  OneCpu(const OneCpu&) = delete;
  OneCpu& operator=(const OneCpu&) = delete;

  // Puts another process (a server process) on the same CPU; false when not allowed.
  bool Pin(pid_t pid) const {
    if (!active_ || pid <= 0) return false;
    const cpu_set_t one = Set();
    return sched_setaffinity(pid, sizeof one, &one) == 0;
  }

  // Lets a process run wherever the calling thread may.
  static void Release(pid_t pid) {
    cpu_set_t mine;
    if (pid > 0 && sched_getaffinity(0, sizeof mine, &mine) == 0) {
      sched_setaffinity(pid, sizeof mine, &mine);
    }
  }

 private:
  // The same CPU for every benchmark of the run.
  static cpu_set_t Set() {
    static const int cpu = [] {
      const int current = sched_getcpu();
      return current >= 0 ? current : 0;
    }();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return one;
  }

  cpu_set_t saved_{};
  bool active_ = false;
};
