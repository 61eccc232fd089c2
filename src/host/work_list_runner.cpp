#include "host/work_list_runner.h"

#include <system_error>

#include "db/baza_de_date.h"
#include "util/log_files.h"
#include "util/worker_failure.h"
#include "worklist/work_list_query.h"

namespace strivex {

namespace {

constexpr const char* kNotConnected = "serverul nu este conectat";

}  // namespace

bool WorkListRunner::Begin(bool unsentOnly, std::function<void()> done) {
  if (running_) return false;
  Join();
  context_.workList.clear();
  running_ = true;
  context_.workListReading.store(1);
  try {
    worker_ = std::thread([this, unsentOnly, done = std::move(done)] {
      if (const auto failure = RunTask(kWorkListWorker, [&] { Read(unsentOnly); })) {
        MutexLock lock(mutex_);
        read_.clear();
        outcome_ = {false, *failure};
      }
      context_.workListReading.store(0);
      if (done) done();
    });
  } catch (const std::system_error& error) {
    context_.workListReading.store(0);
    running_ = false;
    MutexLock lock(mutex_);
    outcome_ = {false, error.what()};
    return false;
  }
  return true;
}

void WorkListRunner::Read(bool unsentOnly) {
  SampleList list;
  WorkListRead outcome;
  // The reconnection and the upload use the session too: one statement at a time.
  const LinkResult read = context_.server.Run([&list, unsentOnly](ServerLink::Scope& link) {
    return WorkListQuery(&link.session(), link.machineIds().host, list, std::nullopt, std::nullopt, false, unsentOnly,
                         nullptr);
  });
  outcome.ok = read.outcome == LinkOutcome::kApplied;
  if (!outcome.ok) outcome.error = read.serverText.empty() ? kNotConnected : read.serverText;
  if (!outcome.ok) WriteErrorLogEntry("Lista de lucru nu a putut fi citita: " + outcome.error);
  MutexLock lock(mutex_);
  read_ = std::move(list);
  outcome_ = std::move(outcome);
}

WorkListRead WorkListRunner::Finish() {
  Join();
  running_ = false;
  MutexLock lock(mutex_);
  context_.workList = std::move(read_);
  return outcome_;
}

void WorkListRunner::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace strivex
