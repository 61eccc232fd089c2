#include "util/worker_failure.h"

#include <string_view>
#include <utility>

#include "util/format.h"
#include "util/log_files.h"
#include "util/timings.h"

namespace strivex {

namespace {

// "Firul KEY: eroare neasteptata: WHY", with `after` (a restart's pause, say) at its end.
void LogUnexpected(std::string_view key, const std::string& failure, const std::string& after = {}) {
  WriteErrorLogEntry(Format("Firul %s: eroare neasteptata: %s%s", std::string(key).c_str(), failure.c_str(),
                            after.c_str()));
}

}  // namespace

void WorkerWatch::SetNotify(Notify notify) {
  const MutexLock lock(mutex_);
  notify_ = std::move(notify);
}

bool WorkerWatch::IsNew(const WorkerName& worker, const std::string& failure) {
  const MutexLock lock(mutex_);
  auto [it, first] = lastFailure_.try_emplace(std::string(worker.key), failure);
  if (!first && it->second == failure) return false;
  it->second = failure;
  return true;
}

void WorkerWatch::Stopped(const WorkerName& worker, const std::string& failure) {
  Notify notify;
  {
    const MutexLock lock(mutex_);
    for (const std::string& key : stopped_)
      if (key == worker.key) return;
    stopped_.emplace_back(worker.key);
    notify = notify_;
  }
  WriteErrorLogEntry(Format("Firul %s s-a oprit dupa o eroare neasteptata: %s", std::string(worker.key).c_str(),
                            failure.c_str()));
  const std::string label(worker.label);
  if (notify) notify(Format(kWorkerStoppedNotice, label.c_str(), failure.c_str()));
}

std::vector<std::string> WorkerWatch::StoppedWorkers() const {
  const MutexLock lock(mutex_);
  return stopped_;
}

std::string FailureText(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "exceptie de tip necunoscut";
  }
}

std::optional<std::string> RunTask(const WorkerName& worker, const std::function<void()>& body) {
  try {
    body();
    return std::nullopt;
  } catch (...) {
    const std::string failure = FailureText(std::current_exception());
    LogUnexpected(worker.key, failure);
    return failure;
  }
}

bool RunWorker(const WorkerName& worker, const std::function<void()>& body, WorkerWatch* watch,
               const RestartPause& restart) {
  constexpr auto kBackOff = timings::kWorkerRestartPause;
  for (;;) {
    std::string failure;
    try {
      body();
      return true;
    } catch (...) {
      failure = FailureText(std::current_exception());
    }
    if (!restart) {
      if (watch != nullptr) {
        watch->Stopped(worker, failure);
      } else {
        LogUnexpected(worker.key, failure);
      }
      return false;
    }
    if (watch == nullptr || watch->IsNew(worker, failure)) {
      LogUnexpected(worker.key, failure,
                    Format("; il pornesc din nou peste %lld ms", static_cast<long long>(kBackOff.count())));
    }
    if (!restart(kBackOff)) return false;
  }
}

}  // namespace strivex
