#include "report_format.h"

#include <charconv>

#include "console.h"
#include "escape.h"

namespace strivex::cli {

namespace {

constexpr size_t kChunkSize = 64 * 1024;

void AppendRequestId(std::string& out, int32_t id) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, id);
  out.append(digits, result.ptr);
}

void AppendPrefix(std::string& out, const SampleRecord& sample, const GroupRecord& group) {
  AppendRequestId(out, sample.requestId);
  out += '\t';
  AppendEscaped(out, group.analysisCode);
}

void AppendResult(std::string& out, const ResultRecord& result) {
  out += '\t';
  AppendEscaped(out, result.parameterCode);
  out += '\t';
  AppendEscaped(out, result.value);
  out += '\n';
}

// Calls `lineDone(out)` after every line; one sample may carry millions of results, so the
// caller gets the chance to flush inside a sample too.
template <class LineDone>
void AppendLines(std::string& out, const SampleList& samples, const SampleList& unassigned,
                 LineDone lineDone) {
  for (const SampleRecord& sample : samples) {
    for (const GroupRecord& group : sample.groups) {
      if (group.results.empty()) {
        AppendPrefix(out, sample, group);
        out += '\n';
        lineDone(out);
        continue;
      }
      for (const ResultRecord& result : group.results) {
        AppendPrefix(out, sample, group);
        AppendResult(out, result);
        lineDone(out);
      }
    }
  }
  // A result without a sample has no request, and its analysis is only the interpreter's.
  for (const SampleRecord& printout : unassigned) {
    for (const GroupRecord& group : printout.groups) {
      for (const ResultRecord& result : group.results) {
        out += "-\t-";
        AppendResult(out, result);
        lineDone(out);
      }
    }
  }
}

}  // namespace

std::string FormatReport(const SampleList& samples, const SampleList& unassigned) {
  std::string out;
  AppendLines(out, samples, unassigned, [](std::string&) {});
  return out;
}

bool WriteReport(std::FILE* out, const SampleList& samples, const SampleList& unassigned) {
  std::string chunk;
  chunk.reserve(kChunkSize + 4096);
  bool ok = true;
  AppendLines(chunk, samples, unassigned, [&](std::string& buffer) {
    if (buffer.size() < kChunkSize) return;
    // After a failed write the rest is still formatted but dropped; the caller reports it once.
    ok = ok && WriteAll(out, buffer);
    buffer.clear();
  });
  return WriteAll(out, chunk) && ok;
}

}  // namespace strivex::cli
