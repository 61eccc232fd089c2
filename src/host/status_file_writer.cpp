#include "host/status_file_writer.h"

#include <unistd.h>

#include "outbox/outbox_store.h"
#include "util/log_files.h"

namespace strivex {

StatusFileWriter::StatusFileWriter(std::string path, std::chrono::milliseconds period, WorkerWatch* workers,
                                   SteadyClock clock)
    : path_(std::move(path)), period_(period), workers_(workers), clock_(std::move(clock)) {
  written_.pid = -1;  // differs from any offer, so the first one is written
  // Without a thread the module runs on without its status file.
  worker_.Post([this](const SerialExecutor::Token& token) {
    // A worker failing while it finishes would fail again: the last status is not waited for.
    RunWorker(kStatusFileWorker, [this, &token] { Run(token); }, workers_,
              [&token](std::chrono::milliseconds backOff) { return token.SleepFor(backOff); });
  });
}

void StatusFileWriter::Offer(ModuleStatus status) {
  {
    MutexLock lock(mutex_);
    offered_ = std::move(status);
  }
  worker_.Wake();
}

void StatusFileWriter::Finish(ModuleStatus last) {
  {
    MutexLock lock(mutex_);
    last_ = std::move(last);
  }
  worker_.Finish();
}

void StatusFileWriter::Run(const SerialExecutor::Token& token) {
  for (;;) {
    if (token.StopRequested()) return;
    const bool ending = token.Ending();
    std::chrono::nanoseconds wait = period_;
    if (auto next = Next(ending, wait)) {
      Write(std::move(*next));
      continue;
    }
    if (ending) return;
    token.WaitFor(wait);
  }
}

std::optional<ModuleStatus> StatusFileWriter::Next(bool ending, std::chrono::nanoseconds& wait) {
  MutexLock lock(mutex_);
  std::optional<ModuleStatus>& source = ending ? last_ : offered_;
  if (!source) return std::nullopt;
  ModuleStatus next = *source;
  next.writtenAt = written_.writtenAt;
  if (next == written_) {
    source.reset();
    return std::nullopt;
  }
  if (ending || !lastWrite_ || clock_() >= *lastWrite_ + period_) {
    source.reset();
    return next;
  }
  // An offer that must wait for the period is looked at again when it ends.
  wait = *lastWrite_ + period_ - clock_();
  return std::nullopt;
}

void StatusFileWriter::Write(ModuleStatus status) {
  status.writtenAt = UnixNow();
  std::string error;
  if (WriteStatusFile(path_, status, error)) {
    lastError_.clear();
  } else if (error != lastError_) {
    // Once per kind of failure: a full disk would otherwise fill the error log every period.
    WriteErrorLogEntry(error);
    lastError_ = error;
  }
  written_ = std::move(status);
  lastWrite_ = clock_();
}

}  // namespace strivex
