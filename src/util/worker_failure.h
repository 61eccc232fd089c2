#pragma once
// What a worker thread does when its body throws what nobody expected (memory, a broken
// invariant of a library): never end in silence. One "_acterr.log" line names the worker and the
// failure (once per distinct failure, so a worker that keeps failing the same way does not fill
// the log); a worker whose work can go on starts again after a short back-off; any other is
// marked stopped, which the operator is told once and the status file shows.

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/thread_annotations.h"

namespace strivex {

// `key` names the worker in the status file and the logs; `label` is the operator's word for it.
struct WorkerName {
  std::string_view key;
  std::string_view label;
};

inline constexpr WorkerName kReaderWorker{"reader", "Citirea portului"};
inline constexpr WorkerName kProcessingWorker{"processing", "Prelucrarea mesajelor"};
inline constexpr WorkerName kUploadWorker{"upload", "Trimiterea rezultatelor"};
inline constexpr WorkerName kReconnectionWorker{"reconnection", "Reconectarea la server"};
inline constexpr WorkerName kFrameSenderWorker{"frame-sender", "Trimiterea listei de lucru"};
inline constexpr WorkerName kStatusFileWorker{"status-file", "Fisierul de stare"};
inline constexpr WorkerName kLookupWorker{"lookup", "Cautarea cererii"};
inline constexpr WorkerName kWorkListWorker{"work-list", "Citirea listei de lucru"};
inline constexpr WorkerName kBackgroundWorker{"background", "Lucrul de fundal"};

// The operator's notice for a worker that stopped.
inline constexpr const char* kWorkerStoppedNotice =
    "%s s-a oprit dupa o eroare neasteptata (%s). Reporniti modulul.";

// The failures of one module's workers, and which of them stopped. Any thread.
class WorkerWatch {
 public:
  using Notify = std::function<void(const std::string& notice)>;

  // Who tells the operator (without waiting for the window); before the workers start.
  void SetNotify(Notify notify) EXCLUDES(mutex_);
  // Whether `failure` differs from the last one of `worker` (which it becomes): a worker that
  // keeps failing the same way is logged once.
  bool IsNew(const WorkerName& worker, const std::string& failure) EXCLUDES(mutex_);
  // The worker ended for good after `failure`: logged, and the operator told, once per worker.
  void Stopped(const WorkerName& worker, const std::string& failure) EXCLUDES(mutex_);
  // The keys of the workers that stopped, in the order they stopped.
  std::vector<std::string> StoppedWorkers() const EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  Notify notify_ GUARDED_BY(mutex_);
  std::map<std::string, std::string, std::less<>> lastFailure_ GUARDED_BY(mutex_);
  std::vector<std::string> stopped_ GUARDED_BY(mutex_);
};

// A failure as the log says it: the exception's text, or that it was of no known kind.
std::string FailureText(const std::exception_ptr& failure);

// One task of a worker that serves requests (a lookup, a work list's read): the failure's text,
// logged, when `body` threw; the caller answers the request as failed.
std::optional<std::string> RunTask(const WorkerName& worker, const std::function<void()>& body);

// Waits out a back-off before a worker starts again; false when it is to end instead (a stop).
using RestartPause = std::function<bool(std::chrono::milliseconds)>;

// Runs `body` on this thread until it returns. When it throws, the failure is logged through
// `watch` (or written to the log as it is without one); then, with `restart`, the body runs again
// once restart(back-off) returned true. Without `restart`, a given `watch` marks the worker
// stopped. False when the body failed and did not run to its end again.
bool RunWorker(const WorkerName& worker, const std::function<void()>& body, WorkerWatch* watch,
               const RestartPause& restart = {});

}  // namespace strivex
