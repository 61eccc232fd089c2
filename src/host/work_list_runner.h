#pragma once
// "Creez Lista" reads the instrument's pending requests off the window's thread: over a relayed
// session every value is a round trip, and the window must keep painting and answering meanwhile.

#include <functional>
#include <string>
#include <thread>

#include "host/module_context.h"
#include "util/thread_annotations.h"

namespace strivex {

// How a read ended.
struct WorkListRead {
  bool ok = false;
  std::string error;  // why the list could not be read, for the operator; empty when ok
};

class WorkListRunner {
 public:
  // `context` must outlive the runner.
  explicit WorkListRunner(ModuleContext& context) : context_(context) {}
  ~WorkListRunner() { Join(); }
  WorkListRunner(const WorkListRunner&) = delete;
  WorkListRunner& operator=(const WorkListRunner&) = delete;

  // Window's thread. Frees the previous work list and starts reading the requests on a worker
  // (the panel says "Citesc lista pacienti" meanwhile); `done` is called on the worker when the
  // list is ready. False, nothing started, while a read runs.
  bool Begin(bool unsentOnly, std::function<void()> done);
  // Window's thread, after `done`: moves the list read into the context's work list and tells how
  // the read went.
  WorkListRead Finish();
  // Waits for a read in progress (the shutdown, before the sessions close).
  void Join();

 private:
  void Read(bool unsentOnly);

  ModuleContext& context_;
  std::thread worker_;
  Mutex mutex_;  // what the worker hands over
  SampleList read_ GUARDED_BY(mutex_);
  WorkListRead outcome_ GUARDED_BY(mutex_);
  bool running_ = false;  // the window's thread only
};

}  // namespace strivex
