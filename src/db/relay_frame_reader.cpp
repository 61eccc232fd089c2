#include "db/relay_frame_reader.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace strivex {

namespace {

constexpr size_t kBufferSize = 4096;
static_assert(kBufferSize >= kRelayHeaderSize + kRelayMaxText);

using Clock = std::chrono::steady_clock;
constexpr Clock::time_point kNever = Clock::time_point::max();

Clock::time_point DeadlineAfter(std::chrono::milliseconds wait) {
  return wait.count() < 0 ? kNever : Clock::now() + wait;
}

}  // namespace

bool WaitReadable(int fd, std::chrono::steady_clock::time_point deadline) {
  if (deadline == kNever) return true;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60'000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // recv reports the failure
  }
}

RelayFrameReader::RelayFrameReader(int fd, size_t maxText)
    : fd_(fd), maxText_(maxText), buffer_(kBufferSize, '\0') {}

void RelayFrameReader::Reserve(size_t size) {
  if (start_ + size <= buffer_.size()) return;
  // Only the unread part moves; it is shorter than one frame, so room is made.
  std::memmove(buffer_.data(), buffer_.data() + start_, Buffered());
  end_ -= start_;
  start_ = 0;
  if (buffer_.size() < size) buffer_.resize(size);
}

RelayReadStatus RelayFrameReader::Fill(Deadline deadline) {
  if (end_ == buffer_.size()) Reserve(Buffered() + 1);
  for (;;) {
    if (!WaitReadable(fd_, deadline)) return RelayReadStatus::kTimedOut;
    const ssize_t n = ::recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
    if (n > 0) {
      end_ += static_cast<size_t>(n);
      return RelayReadStatus::kOk;
    }
    if (n == 0) return Buffered() == 0 ? RelayReadStatus::kClosed : RelayReadStatus::kTruncated;
    if (errno != EINTR) return RelayReadStatus::kError;
  }
}

RelayReadStatus RelayFrameReader::Next(RelayFrame& frame) {
  return Next(frame, std::chrono::milliseconds(-1), std::chrono::milliseconds(-1));
}

RelayReadStatus RelayFrameReader::Next(RelayFrame& frame, std::chrono::milliseconds firstByte,
                                       std::chrono::milliseconds whole) {
  if (Buffered() == 0) {
    if (const RelayReadStatus status = Fill(DeadlineAfter(firstByte)); status != RelayReadStatus::kOk)
      return status;
  }
  const Deadline deadline = DeadlineAfter(whole);
  while (Buffered() < kRelayHeaderSize) {
    if (const RelayReadStatus status = Fill(deadline); status != RelayReadStatus::kOk)
      return status == RelayReadStatus::kClosed ? RelayReadStatus::kTruncated : status;
  }
  const int32_t length = RelayHeaderField(buffer_.data() + start_ + 4);
  if (length < 1 || static_cast<size_t>(length) > maxText_) return RelayReadStatus::kBadLength;
  const size_t size = kRelayHeaderSize + static_cast<size_t>(length);
  Reserve(size);
  while (Buffered() < size) {
    if (const RelayReadStatus status = Fill(deadline); status != RelayReadStatus::kOk) {
      return status == RelayReadStatus::kClosed ? RelayReadStatus::kTruncated : status;
    }
  }
  frame.number = RelayHeaderField(buffer_.data() + start_);
  frame.text.assign(buffer_.data() + start_ + kRelayHeaderSize, static_cast<size_t>(length));
  start_ += size;
  if (start_ == end_) start_ = end_ = 0;
  return RelayReadStatus::kOk;
}

}  // namespace strivex
