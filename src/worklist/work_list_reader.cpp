#include "worklist/work_list_reader.h"

#include <memory>

#include "util/log_files.h"
#include "worklist/work_list_query.h"

namespace strivex {

bool WorkListReader::Begin(bool unsentOnly, std::function<void()> done) {
  if (running_) return false;
  Join();
  running_ = true;
  reading_.store(true);
  auto promise = std::make_shared<std::promise<Handover>>();
  handover_ = promise->get_future();
  std::string refusal;
  const bool posted = executor_.Post(
      [this, unsentOnly, promise, done = std::move(done)](const SerialExecutor::Token&) {
        Handover handover;
        if (const auto failure = RunTask(kWorkListWorker, [&] { handover = Read(unsentOnly); }))
          handover = {{}, {false, *failure}};
        reading_.store(false);
        if (done) done();
        // After `done`: a Join that returns leaves nothing of the read running.
        promise->set_value(std::move(handover));
      },
      &refusal);
  if (!posted) {
    reading_.store(false);
    running_ = false;
    promise->set_value({{}, {false, refusal}});
  }
  return posted;
}

WorkListReader::Handover WorkListReader::Read(bool unsentOnly) {
  Handover handover;
  // The reconnection and the upload use the session too: one statement at a time.
  const ServerAnswer read = server_.Run([&handover, unsentOnly](BazaDeDate& session, int32_t machineId) {
    return WorkListQuery(&session, machineId, handover.list, std::nullopt, std::nullopt, false, unsentOnly, nullptr);
  });
  if (!read.applied) WriteErrorLogEntry("Lista de lucru nu a putut fi citita: " + read.reason);
  handover.read = {read.applied, read.reason};
  return handover;
}

WorkListRead WorkListReader::Finish(SampleList& list) {
  running_ = false;
  if (!handover_.valid()) return {};
  Handover handover = handover_.get();
  list = std::move(handover.list);
  return handover.read;
}

void WorkListReader::Join() {
  if (handover_.valid()) handover_.wait();
}

}  // namespace strivex
