#pragma once
// The reader of one message: one byte per read, a message ends after more than three whole
// seconds of silence, a stop request ends it early.

#include <cstdint>

#include "serial/receive_context.h"

namespace strivex {

// Counts silence in whole seconds of a clock that never jumps back.
class SilenceRule {
 public:
  static constexpr int64_t kSeconds = 3;
  void Clear() { marked_ = false; }
  bool Marked() const { return marked_; }
  // An empty read at `nowSeconds`: true when the silence has lasted more than kSeconds.
  bool OnEmptyRead(int64_t nowSeconds);

 private:
  bool marked_ = false;
  int64_t start_ = 0;
};

// Whole seconds of the monotonic clock.
int64_t MonotonicSeconds();

// The reader's loop on `context`; returns when the message is complete or a stop was requested.
void ReaderThread(ReceiveContext& context);

}  // namespace strivex
