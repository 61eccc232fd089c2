#include "util/log_files.h"

#include <string>

#include "util/format.h"

namespace strivex {

void WriteErrorLogEntry(std::string_view message) {
  AppendFile file(kErrorLogName);
  if (!file.IsOpen()) return;
  const LocalTime t = GetLocalTime();
  std::string entry = Format("\n************%d/%d/%d ora %d:%d:%d**************", t.wDay, t.wMonth,
                             t.wYear, t.wHour, t.wMinute, t.wSecond);
  entry += '\n';
  entry += message;
  // One write per entry, so entries of two threads do not interleave inside a line.
  file.WriteText(entry);
}

void AppendRawLog(std::string_view bytes) {
  AppendFile file(kRawLogName);
  file.Write(bytes);
}

void WriteDataLogSessionMarker() {
  const LocalTime t = GetLocalTime();
  const std::string marker = Format("\n\n****Sesiune Noua ->%d\\%d\\%d ora %d:%d:%d<-****", t.wDay,
                                    t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
  AppendFile file(kDataLogName);
  file.WriteText(marker);
}

DataLogBatch::DataLogBatch() : file_(kDataLogName), time_(GetLocalTime()) {}

void DataLogBatch::WriteSample(int32_t requestId) {
  // The time part of the date line has always read "0:0".
  file_.WriteText(Format("\n Id Analiza = %d\n %d/%d/%d %d:%d", requestId, time_.wDay, time_.wMonth,
                         time_.wYear, 0, 0));
}

void DataLogBatch::WriteUnassigned() {
  file_.WriteText(Format("\n Fara ID proba (nealocat) %d/%d/%d", time_.wDay, time_.wMonth, time_.wYear));
}

void DataLogBatch::WriteResult(std::string_view parameterCode, std::string_view value) {
  std::string line = "\n";
  line += parameterCode;
  line += " = ";
  line += value;
  file_.WriteText(line);
}

}  // namespace strivex
