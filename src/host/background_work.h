#pragma once
// Short tasks the window hands off so that it never waits for the server itself (a login of the
// database settings, their switch): each runs on a thread of its own and reports back through the
// window's queue. The window never joins a task it started; a finished task's thread is collected
// when the next one starts, and the module's end waits for whatever still runs (each task is
// bounded by its own login and statement time-outs).

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "util/thread_annotations.h"

namespace strivex {

class BackgroundWork {
 public:
  BackgroundWork() = default;
  ~BackgroundWork() { Finish(); }
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Runs `task` on a thread of its own. False, and nothing runs, when no thread can be started or
  // after Finish.
  bool Start(std::function<void()> task) EXCLUDES(mutex_);
  // Waits for the tasks still running and refuses new ones (the module's end, before the sessions
  // the tasks use go).
  void Finish() EXCLUDES(mutex_);

 private:
  struct Task {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  Mutex mutex_;
  std::vector<Task> tasks_ GUARDED_BY(mutex_);
  bool finished_ GUARDED_BY(mutex_) = false;
};

}  // namespace strivex
