#include "host/status_file_writer.h"

#include <unistd.h>

#include <system_error>

#include "outbox/outbox_store.h"
#include "util/log_files.h"

namespace strivex {

StatusFileWriter::StatusFileWriter(std::string path, std::chrono::milliseconds period, WorkerWatch* workers,
                                   SteadyClock clock)
    : path_(std::move(path)), period_(period), workers_(workers), clock_(std::move(clock)) {
  written_.pid = -1;  // differs from any offer, so the first one is written
  try {
    worker_ = std::thread([this] {
      RunWorker(kStatusFileWorker, [this] { Run(); }, workers_, [this](auto backOff) { return Pause(backOff); });
    });
  } catch (const std::system_error&) {
    // The module runs on without its status file.
  }
}

StatusFileWriter::~StatusFileWriter() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
    offered_.reset();
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void StatusFileWriter::Offer(ModuleStatus status) {
  {
    std::lock_guard lock(mutex_);
    if (finishing_) return;
    offered_ = std::move(status);
  }
  wake_.notify_one();
}

void StatusFileWriter::Finish(ModuleStatus last) {
  {
    std::lock_guard lock(mutex_);
    if (finishing_) return;
    finishing_ = true;
    offered_ = std::move(last);
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void StatusFileWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (offered_) {
      ModuleStatus next = *offered_;
      next.writtenAt = written_.writtenAt;
      if (next == written_) {
        offered_.reset();
      } else if (finishing_ || !lastWrite_ || clock_() >= *lastWrite_ + period_) {
        offered_.reset();
        lock.unlock();
        Write(std::move(next));
        lock.lock();
        continue;
      }
    }
    if (finishing_ && !offered_) return;
    // An offer that must wait for the period is looked at again when it ends.
    if (offered_) {
      wake_.wait_for(lock, *lastWrite_ + period_ - clock_());
    } else {
      wake_.wait(lock, [this] { return offered_.has_value() || finishing_; });
    }
  }
}

bool StatusFileWriter::Pause(std::chrono::milliseconds backOff) {
  std::unique_lock lock(mutex_);
  // A worker failing while it finishes would fail again: the last status is not waited for.
  return !wake_.wait_for(lock, backOff, [this] { return finishing_; });
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
