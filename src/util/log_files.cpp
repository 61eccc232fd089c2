#include "util/log_files.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "util/format.h"

namespace strivex {

namespace {

// Which logs fail now, and whom to tell. One for the process: the logs are its current folder's.
struct FailureWatch {
  std::mutex mutex;
  ScopedLogFailureHandler::Handler handler;
  std::array<std::atomic<bool>, 3> failing{};
};

FailureWatch& Watch() {
  static FailureWatch watch;
  return watch;
}

size_t IndexOf(const char* name) {
  if (name == kErrorLogName) return 0;
  return name == kRawLogName ? 1 : 2;
}

// A write past RLIMIT_FSIZE kills the process unless SIGXFSZ is ignored; then it fails with EFBIG.
void KeepRunningPastFileSizeLimit() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ::sigaction(SIGXFSZ, &ignore, nullptr);
    }
  });
}

std::string CurrentFolder() {
  std::string path(4096, '\0');
  if (::getcwd(path.data(), path.size()) == nullptr) return "(the working folder is gone)";
  path.resize(std::strlen(path.c_str()));
  return path;
}

// Says once per outage that a log cannot be written; `error` is the errno of the failure.
void Report(const char* name, bool written, int error) {
  FailureWatch& watch = Watch();
  std::atomic<bool>& failing = watch.failing[IndexOf(name)];
  if (written) {
    failing.store(false);
    return;
  }
  if (failing.exchange(true)) return;
  // One notice while any log fails: the operator needs to hear it once, not once a file.
  int others = 0;
  for (const std::atomic<bool>& flag : watch.failing) others += flag.load() ? 1 : 0;
  if (others > 1) return;
  const std::string reason = error == 0 ? "unknown error" : std::strerror(error);
  std::fprintf(stderr, "Strivex: cannot write the log %s in %s: %s; going on without it\n", name,
               CurrentFolder().c_str(), reason.c_str());
  const std::lock_guard lock(watch.mutex);
  if (watch.handler) watch.handler(Format(kLogUnwritable, name, reason.c_str()));
}

// Opens `name`, writes `bytes` (as text with CR LF, or raw), closes, and reports the outcome.
void AppendAndReport(const char* name, std::string_view bytes, bool text) {
  KeepRunningPastFileSizeLimit();
  errno = 0;
  AppendFile file(name);
  const bool written = file.IsOpen() && (text ? file.WriteText(bytes) : file.Write(bytes));
  Report(name, written, errno);
}

}  // namespace

ScopedLogFailureHandler::ScopedLogFailureHandler(Handler handler) {
  FailureWatch& watch = Watch();
  const std::lock_guard lock(watch.mutex);
  previous_ = std::exchange(watch.handler, std::move(handler));
}

ScopedLogFailureHandler::~ScopedLogFailureHandler() {
  FailureWatch& watch = Watch();
  const std::lock_guard lock(watch.mutex);
  watch.handler = std::move(previous_);
}

void WriteErrorLogEntry(std::string_view message) {
  const LocalTime t = GetLocalTime();
  std::string entry = Format("\n************%d/%d/%d ora %d:%d:%d**************", t.wDay, t.wMonth,
                             t.wYear, t.wHour, t.wMinute, t.wSecond);
  entry += '\n';
  entry += message;
  // One write per entry, so entries of two threads do not interleave inside a line.
  AppendAndReport(kErrorLogName, entry, true);
}

void AppendRawLog(std::string_view bytes) { AppendAndReport(kRawLogName, bytes, false); }

void WriteDataLogSessionMarker() {
  const LocalTime t = GetLocalTime();
  const std::string marker = Format("\n\n****Sesiune Noua ->%d\\%d\\%d ora %d:%d:%d<-****", t.wDay,
                                    t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
  AppendAndReport(kDataLogName, marker, true);
}

DataLogBatch::DataLogBatch() : file_((KeepRunningPastFileSizeLimit(), kDataLogName)), time_(GetLocalTime()) {
  if (!file_.IsOpen()) {
    Report(kDataLogName, false, errno);
    failed_ = true;
  }
}

void DataLogBatch::Write(const std::string& text) {
  if (failed_) return;
  errno = 0;
  const bool written = file_.WriteText(text);
  Report(kDataLogName, written, errno);
  failed_ = !written;
}

void DataLogBatch::WriteSample(int32_t requestId) {
  // The time part of the date line has always read "0:0".
  Write(Format("\n Id Analiza = %d\n %d/%d/%d %d:%d", requestId, time_.wDay, time_.wMonth,
                         time_.wYear, 0, 0));
}

void DataLogBatch::WriteUnassigned() {
  Write(Format("\n Fara ID proba (nealocat) %d/%d/%d", time_.wDay, time_.wMonth, time_.wYear));
}

void DataLogBatch::WriteResult(std::string_view parameterCode, std::string_view value) {
  std::string line = "\n";
  line += parameterCode;
  line += " = ";
  line += value;
  Write(line);
}

}  // namespace strivex
