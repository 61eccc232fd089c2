#pragma once
// The module's three append-only logs, each opened by bare name in the current directory and
// closed again after every entry (or batch). A failure to log never changes what the caller does.

#include <cstdint>
#include <string_view>

#include "util/append_file.h"
#include "util/local_time.h"

namespace strivex {

// The logs' file names, in the module's working directory.
inline constexpr const char* kErrorLogName = "_acterr.log";
inline constexpr const char* kRawLogName = "_Strivex.log";
inline constexpr const char* kDataLogName = "_Strivex_data.log";

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
  AppendFile file_;
  LocalTime time_;
};

}  // namespace strivex
