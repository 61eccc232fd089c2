#include "worklist/work_list_reader.h"

#include <system_error>

#include "util/log_files.h"
#include "util/worker_failure.h"
#include "worklist/work_list_query.h"

namespace strivex {

bool WorkListReader::Begin(bool unsentOnly, std::function<void()> done) {
  if (running_) return false;
  Join();
  running_ = true;
  reading_.store(true);
  try {
    worker_ = std::thread([this, unsentOnly, done = std::move(done)] {
      if (const auto failure = RunTask(kWorkListWorker, [&] { Read(unsentOnly); })) {
        MutexLock lock(mutex_);
        read_.clear();
        outcome_ = {false, *failure};
      }
      reading_.store(false);
      if (done) done();
    });
  } catch (const std::system_error& error) {
    reading_.store(false);
    running_ = false;
    MutexLock lock(mutex_);
    outcome_ = {false, error.what()};
    return false;
  }
  return true;
}

void WorkListReader::Read(bool unsentOnly) {
  SampleList list;
  // The reconnection and the upload use the session too: one statement at a time.
  const ServerAnswer read = server_.Run([&list, unsentOnly](BazaDeDate& session, int32_t machineId) {
    return WorkListQuery(&session, machineId, list, std::nullopt, std::nullopt, false, unsentOnly, nullptr);
  });
  if (!read.applied) WriteErrorLogEntry("Lista de lucru nu a putut fi citita: " + read.reason);
  MutexLock lock(mutex_);
  read_ = std::move(list);
  outcome_ = {read.applied, read.reason};
}

WorkListRead WorkListReader::Finish(SampleList& list) {
  Join();
  running_ = false;
  MutexLock lock(mutex_);
  list = std::move(read_);
  return outcome_;
}

void WorkListReader::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace strivex
