#pragma once
// Runs background tasks one after another on one thread of its own, so a feature that must not
// keep the window waiting (a lookup, a login, the status file) needs no thread, lock, condition
// and stop flag of its own.
//
// The thread starts with the first task and ends when the queue runs dry: an idle module holds no
// thread for it, and the next task starts a new one (the ended one is joined then, which costs
// nothing). A loop task (one that serves until the module ends) keeps the thread for its life and
// waits on its token, which Wake(), Finish() and Stop() cut short.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include "util/thread_annotations.h"
#include "util/worker_failure.h"

namespace strivex {

class SerialExecutor {
 public:
  // What a task sees of its executor: whether to end, and waits that end early when it should.
  class Token {
   public:
    // Stop() was asked: drop the work in hand.
    bool StopRequested() const;
    // Finish() or Stop() was asked: a loop task does what it still has and returns.
    bool Ending() const;
    // Waits up to `timeout`, less on Wake(), Finish() or Stop(). False when ending.
    bool WaitFor(std::chrono::nanoseconds timeout) const;
    // Waits the whole `timeout` (a back-off), which only Finish() or Stop() cut short. False when
    // ending.
    bool SleepFor(std::chrono::nanoseconds timeout) const;

   private:
    friend class SerialExecutor;
    explicit Token(SerialExecutor& owner) : owner_(owner) {}
    SerialExecutor& owner_;
  };
  using Task = std::function<void(const Token&)>;

  // A task that throws is logged under `worker` (it has no one to answer) and the next one runs.
  explicit SerialExecutor(WorkerName worker) : worker_(worker) {}
  // Stops: a task holding references to its owner's members must not outlive them.
  ~SerialExecutor() { Stop(); }
  SerialExecutor(const SerialExecutor&) = delete;
  SerialExecutor& operator=(const SerialExecutor&) = delete;

  // Any thread. Queues `task` behind the others. False, and `task` never runs, when no thread can
  // be started (`refusal`, when given, then says why) or after Finish() or Stop().
  bool Post(Task task, std::string* refusal = nullptr) EXCLUDES(mutex_);
  // Any thread. Ends the running task's current wait (kept for its next one when it is not
  // waiting), so a loop task looks at new work at once.
  void Wake() EXCLUDES(mutex_);
  // The owner's thread, never a task. Waits until the queue has run dry (tasks posted meanwhile
  // too) and goes on taking tasks. Not while a loop task runs.
  void Drain() EXCLUDES(mutex_);
  // The owner's thread, never a task. Runs what is queued, then ends; refuses new tasks.
  void Finish() EXCLUDES(mutex_);
  // The owner's thread, never a task. Drops what is queued, asks the running task to stop, and
  // waits for it to return; refuses new tasks.
  void Stop() EXCLUDES(mutex_);

 private:
  void Run() EXCLUDES(mutex_);
  // Marks the end, and waits for the thread.
  void End(bool stop) EXCLUDES(mutex_);

  const WorkerName worker_;
  mutable Mutex mutex_;
  mutable std::condition_variable_any changed_;
  std::deque<Task> queue_ GUARDED_BY(mutex_);
  std::thread thread_ GUARDED_BY(mutex_);
  bool running_ GUARDED_BY(mutex_) = false;  // thread_ serves the queue (else it ended or never was)
  bool ending_ GUARDED_BY(mutex_) = false;
  bool stopping_ GUARDED_BY(mutex_) = false;
  bool woken_ GUARDED_BY(mutex_) = false;
};

}  // namespace strivex
