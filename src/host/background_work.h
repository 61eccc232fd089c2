#pragma once
// Short tasks the window hands off so that it never waits for the server itself (a login of the
// database settings, their switch): they run one after another on the executor's thread and
// report back through the window's queue. The window never waits for a task it started; the
// module's end waits for what is still queued (each task is bounded by its own login and
// statement time-outs).

#include <functional>
#include <utility>

#include "util/serial_executor.h"
#include "util/worker_failure.h"

namespace strivex {

class BackgroundWork {
 public:
  BackgroundWork() = default;
  ~BackgroundWork() { Finish(); }
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Queues `task`. False, and nothing runs, when no thread can be started or after Finish.
  bool Start(std::function<void()> task) {
    return executor_.Post([task = std::move(task)](const SerialExecutor::Token&) { task(); });
  }
  // Waits for the tasks still queued and refuses new ones (the module's end, before the sessions
  // the tasks use go).
  void Finish() { executor_.Finish(); }

 private:
  // A task that throws is logged as this worker's.
  SerialExecutor executor_{kBackgroundWorker};
};

}  // namespace strivex
