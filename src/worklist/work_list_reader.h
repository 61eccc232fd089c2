#pragma once
// "Creez Lista" reads the instrument's pending requests off the window's thread: over a relayed
// session every value is a round trip, and the window must keep painting and answering meanwhile.

#include <atomic>
#include <functional>
#include <future>
#include <string>

#include "protocol/records.h"
#include "util/serial_executor.h"
#include "util/worker_failure.h"
#include "worklist/work_list_server.h"

namespace strivex {

// How a read ended.
struct WorkListRead {
  bool ok = false;
  std::string error;  // why the list could not be read, for the operator; empty when ok
};

class WorkListReader {
 public:
  // `server` must outlive the reader.
  explicit WorkListReader(WorkListServer& server) : server_(server) {}
  WorkListReader(const WorkListReader&) = delete;
  WorkListReader& operator=(const WorkListReader&) = delete;

  // Window's thread. Starts reading the requests on a worker (the panel says "Citesc lista
  // pacienti" meanwhile); `done` is called on the worker when the list is ready. False, nothing
  // started, while a read runs.
  bool Begin(bool unsentOnly, std::function<void()> done);
  // Window's thread, after `done`: moves the list read into `list` and tells how the read went.
  WorkListRead Finish(SampleList& list);
  // Waits for a read in progress, `done` included (the shutdown, before the sessions close).
  void Join();
  // Whether a read was begun and not yet finished; the window's thread.
  bool Busy() const { return running_; }
  // Whether a read runs now; any thread.
  bool Reading() const { return reading_.load(); }

 private:
  // What a read hands over to the window's thread.
  struct Handover {
    SampleList list;
    WorkListRead read;
  };

  Handover Read(bool unsentOnly);

  WorkListServer& server_;
  std::future<Handover> handover_;  // the window's thread only
  std::atomic<bool> reading_{false};
  bool running_ = false;  // the window's thread only
  SerialExecutor executor_{kWorkListWorker};  // last: its task uses the members above
};

}  // namespace strivex
