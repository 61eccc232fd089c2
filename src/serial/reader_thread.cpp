#include "serial/reader_thread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include "serial/port_link.h"
#include "util/worker_failure.h"
#include "util/timings.h"

namespace strivex {

namespace {

constexpr int32_t kFirstCapacity = 100000;
constexpr int32_t kHeadroom = 10;  // the terminating NUL always fits
constexpr int kReadTimeoutMs = static_cast<int>(timings::kSerialReadTimeout.count());
constexpr auto kClosedPortPause = timings::kClosedPortPause;
constexpr size_t kReadChunk = 4096;

enum class ReadResult { kBytes, kNothing, kDeviceGone };

// Room for at least one more byte: the buffer doubles (from 100,000 bytes) up to the message
// limit, so a long report costs a few copies, not one per 100 KB. False when the message is at its
// limit or no memory is left; the reader then ends the message where it is.
bool EnsureRoom(ReceiveContext& context) {
  const int32_t length = context.length.load(std::memory_order_relaxed);
  const int32_t capacity = context.capacity.load(std::memory_order_relaxed);
  if (length < capacity - kHeadroom) return true;
  constexpr int32_t kMost = kMessageLimit + kHeadroom;
  if (capacity >= kMost) return false;
  const int32_t grown = capacity == 0 ? kFirstCapacity : static_cast<int32_t>(std::min<int64_t>(int64_t{capacity} * 2, kMost));
  char* bigger = new (std::nothrow) char[static_cast<size_t>(grown)];
  if (bigger == nullptr) return false;
  if (length > 0) std::copy_n(context.data.get(), length, bigger);
  context.data.reset(bigger);
  context.capacity.store(grown, std::memory_order_relaxed);
  return true;
}

// What has arrived, stored at the end of the message (at most what the buffer holds), or nothing
// after a second of silence. The wait also ends early when the port is closed or re-opened (a
// wake-up), which counts as an empty read.
ReadResult ReadAvailable(ReceiveContext& context, PortLink& link) {
  std::shared_lock use(link.handleGuard);
  const int fd = context.portHandle.load(std::memory_order_acquire);
  pollfd fds[2] = {{fd, POLLIN, 0}, {link.wakeFd.get(), POLLIN, 0}};
  const auto started = std::chrono::steady_clock::now();
  const int ready = ::poll(fds, 2, kReadTimeoutMs);
  if (ready <= 0) return ReadResult::kNothing;  // silence, or a signal
  if (fds[1].revents != 0) {
    link.DrainWake();
    return ReadResult::kNothing;
  }
  if (fds[0].revents & POLLNVAL) return ReadResult::kDeviceGone;
  const int32_t length = context.length.load(std::memory_order_relaxed);
  const int32_t room = context.capacity.load(std::memory_order_relaxed) - kHeadroom - length;
  const size_t want = std::min(kReadChunk, static_cast<size_t>(room));
  const ssize_t got = ::read(fd, context.data.get() + length, want);
  if (got > 0) {
    context.length.store(length + static_cast<int32_t>(got), std::memory_order_release);
    return ReadResult::kBytes;
  }
  if (got < 0 && (errno == EIO || errno == ENXIO)) return ReadResult::kDeviceGone;
  // A hung-up line answers at once with nothing; a live one only after the time-out.
  const bool instant = std::chrono::steady_clock::now() - started < timings::kHungUpReadWithin;
  if (got == 0 && instant && (fds[0].revents & POLLHUP)) return ReadResult::kDeviceGone;
  return ReadResult::kNothing;
}

void Complete(ReceiveContext& context) {
  const int32_t length = context.length.load(std::memory_order_relaxed);
  if (context.data) context.data[static_cast<size_t>(length)] = '\0';
  context.state.store(RX_COMPLETE, std::memory_order_release);
  context.changed.Notify();
}

}  // namespace

bool SilenceRule::OnEmptyRead(int64_t nowSeconds) {
  if (!marked_) {
    marked_ = true;
    start_ = nowSeconds;
    return false;
  }
  return nowSeconds - start_ > kSeconds;
}

int64_t MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec;
}

namespace {

// Reads until the message completes (true), a stop comes or the buffer is full (`room` false).
bool ReadMessage(ReceiveContext& context, PortLink& link, bool& room) {
  room = EnsureRoom(context);
  SilenceRule silence;
  while (room && context.stop.load(std::memory_order_acquire) == 0) {
    if (link.open.load(std::memory_order_acquire) == 0) {
      std::this_thread::sleep_for(kClosedPortPause);
      continue;
    }
    const ReadResult read = ReadAvailable(context, link);
    if (read == ReadResult::kDeviceGone) {
      // The device went away: keep what arrived and wait for the port to be opened again. The
      // line being received when it went is not whole.
      context.cuts.AddLoss(context.length.load(std::memory_order_relaxed));
      link.open.store(0, std::memory_order_release);
      continue;
    }
    if (read == ReadResult::kBytes) {
      // Bytes read as a stop comes are kept: the consumer takes the message as it stands.
      context.state.store(RX_RECEIVING, std::memory_order_release);
      silence.Clear();
      room = EnsureRoom(context);
      if (context.stop.load(std::memory_order_acquire) != 0) break;
    } else if (context.stop.load(std::memory_order_acquire) != 0) {
      break;
    } else if (context.state.load(std::memory_order_acquire) != RX_IDLE) {
      const bool wasMarked = silence.Marked();
      if (silence.OnEmptyRead(MonotonicSeconds())) {
        Complete(context);
        return true;
      }
      if (!wasMarked) context.state.store(RX_SILENCE, std::memory_order_release);
    }
  }
  return false;
}

}  // namespace

void ReaderThread(ReceiveContext& context) {
  PortLink& link = *context.port.load(std::memory_order_acquire);
  bool room = true;
  bool completed = false;
  // A reader that fails keeps what it had for the consumer's end, as at a stop; it is not started
  // again by itself, and the operator is told.
  RunWorker(kReaderWorker, [&] { completed = ReadMessage(context, link, room); }, context.workers);
  // The cuts are told before the hand-over (RX_COMPLETE, or `finished` for a stopped message).
  if (!room) {
    // Cannot hold more: deliver what is there rather than lose it.
    context.cuts.end = MessageEnd::kLimit;
    Complete(context);
  } else if (!completed) {
    context.cuts.end = MessageEnd::kStop;
  }
  link.readerRunning.store(0, std::memory_order_release);
  context.changed.Notify();
  // The last touch of the context: from here on its owner may free it.
  context.finished.store(1, std::memory_order_release);
}

}  // namespace strivex
