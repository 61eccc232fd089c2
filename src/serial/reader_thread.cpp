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

namespace strivex {

namespace {

constexpr int32_t kGrowStep = 100000;
constexpr int32_t kHeadroom = 10;  // the terminating NUL always fits
constexpr int kReadTimeoutMs = 1000;
constexpr auto kClosedPortPause = std::chrono::milliseconds(500);

enum class ReadResult { kByte, kNothing, kDeviceGone };

// Grows the buffer by one step when fewer than kHeadroom bytes are left. False when it cannot
// grow (out of memory, or a message of 2 GB); the reader then ends the message where it is.
bool EnsureRoom(ReceiveContext& context) {
  const int32_t length = context.length.load(std::memory_order_relaxed);
  const int32_t capacity = context.capacity.load(std::memory_order_relaxed);
  if (length <= capacity - kHeadroom) return true;
  if (capacity > std::numeric_limits<int32_t>::max() - kGrowStep) return false;
  const int32_t grown = capacity + kGrowStep;
  char* bigger = new (std::nothrow) char[static_cast<size_t>(grown)];
  if (bigger == nullptr) return false;
  if (length > 0) std::copy_n(context.data.get(), length, bigger);
  context.data.reset(bigger);
  context.capacity.store(grown, std::memory_order_relaxed);
  return true;
}

// One byte, or nothing after a second of silence. The wait also ends early when the port is
// closed or re-opened (a wake-up), which counts as an empty read.
ReadResult ReadOneByte(ReceiveContext& context, PortLink& link, char& byte) {
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
  const ssize_t got = ::read(fd, &byte, 1);
  if (got == 1) return ReadResult::kByte;
  if (got < 0 && (errno == EIO || errno == ENXIO)) return ReadResult::kDeviceGone;
  // A hung-up line answers at once with nothing; a live one only after the time-out.
  const bool instant = std::chrono::steady_clock::now() - started < std::chrono::milliseconds(900);
  if (got == 0 && instant && (fds[0].revents & POLLHUP)) return ReadResult::kDeviceGone;
  return ReadResult::kNothing;
}

void StoreByte(ReceiveContext& context, char byte) {
  const int32_t length = context.length.load(std::memory_order_relaxed);
  context.data[static_cast<size_t>(length)] = byte;
  context.length.store(length + 1, std::memory_order_release);
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

void ReaderThread(ReceiveContext& context) {
  PortLink& link = *context.port.load(std::memory_order_acquire);
  bool room = EnsureRoom(context);
  SilenceRule silence;
  while (room && context.stop.load(std::memory_order_acquire) == 0) {
    if (link.open.load(std::memory_order_acquire) == 0) {
      std::this_thread::sleep_for(kClosedPortPause);
      continue;
    }
    char byte = 0;
    const ReadResult read = ReadOneByte(context, link, byte);
    if (read == ReadResult::kDeviceGone) {
      // The device went away: keep what arrived and wait for the port to be opened again.
      link.open.store(0, std::memory_order_release);
      continue;
    }
    if (context.stop.load(std::memory_order_acquire) != 0) break;  // a byte read now is dropped
    if (read == ReadResult::kByte) {
      context.state.store(RX_RECEIVING, std::memory_order_release);
      StoreByte(context, byte);
      silence.Clear();
      room = EnsureRoom(context);
    } else if (context.state.load(std::memory_order_acquire) != RX_IDLE) {
      const bool wasMarked = silence.Marked();
      if (silence.OnEmptyRead(MonotonicSeconds())) {
        Complete(context);
        break;
      }
      if (!wasMarked) context.state.store(RX_SILENCE, std::memory_order_release);
    }
  }
  if (!room) Complete(context);  // cannot hold more: deliver what is there rather than lose it
  link.readerRunning.store(0, std::memory_order_release);
  context.changed.Notify();
  // The last touch of the context: from here on its owner may free it.
  context.finished.store(1, std::memory_order_release);
}

}  // namespace strivex
