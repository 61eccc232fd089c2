#pragma once
// Keeps the status file up to date from a worker of its own, so the window's thread, which offers
// the status with every panel tick, never waits for the disk.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "host/status_file.h"
#include "util/steady_clock.h"
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
  ~StatusFileWriter();
  StatusFileWriter(const StatusFileWriter&) = delete;
  StatusFileWriter& operator=(const StatusFileWriter&) = delete;

  // Returns at once. The file gets `status` when it differs from what was written last (the time
  // of writing aside), no sooner than a period after the last write; the first at once.
  void Offer(ModuleStatus status);
  // Writes `last` at once, waits for it, and ends the worker.
  void Finish(ModuleStatus last);

 private:
  void Run();
  // Waits out a restart's back-off unless finishing; false when finishing.
  bool Pause(std::chrono::milliseconds backOff);
  void Write(ModuleStatus status);

  const std::string path_;
  const std::chrono::milliseconds period_;
  WorkerWatch* const workers_;
  const SteadyClock clock_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<ModuleStatus> offered_;  // under mutex_
  bool finishing_ = false;               // under mutex_
  // The worker's own.
  ModuleStatus written_;
  std::optional<std::chrono::steady_clock::time_point> lastWrite_;  // none yet
  std::string lastError_;
  std::thread worker_;
};

}  // namespace strivex
