#pragma once
// Keeps the status file up to date from a worker of its own, so the window's thread, which offers
// the status with every panel tick, never waits for the disk.

#include <chrono>
#include <optional>
#include <string>

#include "host/status_file.h"
#include "util/serial_executor.h"
#include "util/steady_clock.h"
#include "util/thread_annotations.h"
#include "util/timings.h"
#include "util/worker_failure.h"

namespace strivex {

class StatusFileWriter {
 public:
  // Starts the worker; without one (no thread could be started) nothing is ever written. A
  // failure of the worker is logged through `workers` (when given) and the worker starts again.
  explicit StatusFileWriter(std::string path, std::chrono::milliseconds period = timings::kStatusFilePeriod,
                            WorkerWatch* workers = nullptr, SteadyClock clock = RealSteadyClock());
  // Ends the worker without a last write.
  ~StatusFileWriter() { worker_.Stop(); }
  StatusFileWriter(const StatusFileWriter&) = delete;
  StatusFileWriter& operator=(const StatusFileWriter&) = delete;

  // Returns at once. The file gets `status` when it differs from what was written last (the time
  // of writing aside), no sooner than a period after the last write; the first at once.
  void Offer(ModuleStatus status) EXCLUDES(mutex_);
  // Writes `last` at once, waits for it, and ends the worker.
  void Finish(ModuleStatus last) EXCLUDES(mutex_);

 private:
  void Run(const SerialExecutor::Token& token) EXCLUDES(mutex_);
  // What to write now, if anything; else how long to wait before looking again.
  std::optional<ModuleStatus> Next(bool ending, std::chrono::nanoseconds& wait) EXCLUDES(mutex_);
  void Write(ModuleStatus status);

  const std::string path_;
  const std::chrono::milliseconds period_;
  WorkerWatch* const workers_;
  const SteadyClock clock_;
  // Handed from the window to the worker.
  Mutex mutex_;
  std::optional<ModuleStatus> offered_ GUARDED_BY(mutex_);
  std::optional<ModuleStatus> last_ GUARDED_BY(mutex_);  // Finish's, which no later offer replaces
  // The worker's own.
  ModuleStatus written_;
  std::optional<std::chrono::steady_clock::time_point> lastWrite_;  // none yet
  std::string lastError_;
  SerialExecutor worker_{kStatusFileWorker};  // last: ends before what its loop uses goes
};

}  // namespace strivex
