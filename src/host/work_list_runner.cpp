#include "host/work_list_runner.h"

#include <system_error>

#include "db/baza_de_date.h"
#include "util/log_files.h"
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
      Read(unsentOnly);
      context_.workListReading.store(0);
      if (done) done();
    });
  } catch (const std::system_error& error) {
    context_.workListReading.store(0);
    running_ = false;
    std::lock_guard lock(mutex_);
    outcome_ = {false, error.what()};
    return false;
  }
  return true;
}

void WorkListRunner::Read(bool unsentOnly) {
  SampleList list;
  WorkListRead outcome;
  {
    // The reconnection and the upload use the session too: one statement at a time.
    std::lock_guard session(context_.serverMutex);
    BazaDeDate* server = context_.serverSession;
    if (server == nullptr || server->connected.load() != 1) {
      outcome.error = kNotConnected;
    } else {
      outcome.ok = WorkListQuery(server, context_.hostMachineId, list, std::nullopt, std::nullopt, false,
                                 unsentOnly, nullptr);
      if (!outcome.ok) outcome.error = server->lastErrorText();
    }
  }
  if (!outcome.ok) WriteErrorLogEntry("Lista de lucru nu a putut fi citita: " + outcome.error);
  std::lock_guard lock(mutex_);
  read_ = std::move(list);
  outcome_ = std::move(outcome);
}

WorkListRead WorkListRunner::Finish() {
  Join();
  running_ = false;
  std::lock_guard lock(mutex_);
  context_.workList = std::move(read_);
  return outcome_;
}

void WorkListRunner::Join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace strivex
