#pragma once
// The module's three append-only logs, each opened by bare name in the current directory and
// closed again after every entry (or batch). A failure to log never changes what the caller does.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/append_file.h"
#include "util/local_time.h"

namespace strivex {

// The logs' file names, in the module's working directory.
inline constexpr const char* kErrorLogName = "_acterr.log";
inline constexpr const char* kRawLogName = "_Strivex.log";
inline constexpr const char* kDataLogName = "_Strivex_data.log";

// A log that cannot be written (no write permission, no such folder, the file size limit) is
// said once on standard error and once to the handler installed here, while any log fails; once
// every failed log was written again, a new failure is said again. The caller goes on either way. A process-wide handler, since the logs are the process's
// current directory's. Past the file size limit a write fails instead of killing the process
// with SIGXFSZ (the signal is ignored when nobody handles it).
class ScopedLogFailureHandler {
 public:
  using Handler = std::function<void(const std::string& notice)>;
  // Installs `handler` (called on the logging thread, must not block or log) until destruction,
  // when the previous handler comes back.
  explicit ScopedLogFailureHandler(Handler handler);
  ~ScopedLogFailureHandler();
  ScopedLogFailureHandler(const ScopedLogFailureHandler&) = delete;
  ScopedLogFailureHandler& operator=(const ScopedLogFailureHandler&) = delete;

 private:
  Handler previous_;
};

// The operator's notice for a log that cannot be written.
inline constexpr const char* kLogUnwritable =
    "Nu pot scrie in fisierul jurnal %s (%s). Modulul lucreaza mai departe fara el.";

// "_acterr.log": a time header line, then the message on its own line, in one write; any thread.
void WriteErrorLogEntry(std::string_view message);

// "_Strivex.log": the received bytes exactly, nothing around them; the processing thread.
void AppendRawLog(std::string_view bytes);

// "_Strivex_data.log": the marker the upload thread writes when it starts.
void WriteDataLogSessionMarker();

// "_Strivex_data.log" lines of one stored batch: the file stays open for the batch, the date is
// read once when the batch begins.
class DataLogBatch {
 public:
  // Opens the file and reads the date; the upload thread.
  DataLogBatch();
  // "\n Id Analiza = %d\n d/m/y 0:0" (the time part has always read 0:0).
  void WriteSample(int32_t requestId);
  // "\nCODE = value".
  void WriteResult(std::string_view parameterCode, std::string_view value);
  // A printout without a usable sample identifier: its results follow this line, which no reader
  // of the log can take for a sample's.
  void WriteUnassigned();

 private:
  // Writes and says once when the file fails.
  void Write(const std::string& text);

  AppendFile file_;
  LocalTime time_;
  bool failed_ = false;  // the batch's failure was reported already
};

}  // namespace strivex
