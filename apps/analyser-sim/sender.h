#pragma once
// Writes a report to the line, in bursts at the line rate or all at once.

#include <optional>
#include <string>
#include <string_view>

#include "interrupts.h"
#include "line_format.h"

namespace strivex::sim {

// How a send ended.
enum class SendResult { kSent, kInterrupted, kFailed };

// Writes all of `bytes` to the non-blocking `fd`. With `pace`, each burst is followed by a sleep
// until the line would have carried it, measured from the first byte so sleeps do not drift.
// `error` says why on kFailed.
SendResult SendBytes(int fd, std::string_view bytes, const std::optional<LineFormat>& pace,
                     const Interrupts& interrupts, std::string& error);

}  // namespace strivex::sim
