#pragma once
// The reader of one message: it takes what has arrived, a message ends after more than three whole
// seconds of silence, a stop request ends it early, and a message never grows past kMessageLimit
// (the bytes after it start the next message, so a line that never falls silent cannot take all
// memory).

#include <cstdint>

#include "serial/receive_context.h"
#include "util/timings.h"

namespace strivex {

// The most bytes one message holds: thousands of times a real report.
inline constexpr int32_t kMessageLimit = 64 * 1024 * 1024;

// Counts silence in whole seconds of a clock that never jumps back.
class SilenceRule {
 public:
  static constexpr int64_t kSeconds = timings::kSilenceSeconds;
  // A byte arrived: the silence starts again at the next empty read.
  void Clear() { marked_ = false; }
  // Whether an empty read has started a silence since the last byte.
  bool Marked() const { return marked_; }
  // An empty read at `nowSeconds`: true when the silence has lasted more than kSeconds.
  bool OnEmptyRead(int64_t nowSeconds);

 private:
  bool marked_ = false;
  int64_t start_ = 0;
};

// Whole seconds of the monotonic clock.
int64_t MonotonicSeconds();

// The reader's loop on `context`, run on the thread PortSerial::StartReader makes; returns when
// the message is complete, a stop was requested or the buffer cannot grow (the message is then
// completed as it is). Notes on the context's cuts where the device went away and why the message
// ended. Sets the context's finished flag last.
void ReaderThread(ReceiveContext& context);

}  // namespace strivex
