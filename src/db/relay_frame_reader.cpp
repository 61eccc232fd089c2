#include "db/relay_frame_reader.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace strivex {

namespace {

constexpr size_t kBufferSize = 4096;
static_assert(kBufferSize >= kRelayHeaderSize + kRelayMaxText);

}  // namespace

RelayFrameReader::RelayFrameReader(int fd) : fd_(fd), buffer_(kBufferSize, '\0') {}

RelayReadStatus RelayFrameReader::Fill() {
  if (end_ == buffer_.size()) {
    // Only the unread part moves; it is shorter than one frame, so room is made.
    std::memmove(buffer_.data(), buffer_.data() + start_, Buffered());
    end_ -= start_;
    start_ = 0;
  }
  for (;;) {
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
  while (Buffered() < kRelayHeaderSize) {
    if (const RelayReadStatus status = Fill(); status != RelayReadStatus::kOk) return status;
  }
  const int32_t length = RelayHeaderField(buffer_.data() + start_ + 4);
  if (length < 1 || length > kRelayMaxText) return RelayReadStatus::kBadLength;
  const size_t whole = kRelayHeaderSize + static_cast<size_t>(length);
  while (Buffered() < whole) {
    if (const RelayReadStatus status = Fill(); status != RelayReadStatus::kOk) {
      return status == RelayReadStatus::kClosed ? RelayReadStatus::kTruncated : status;
    }
  }
  frame.number = RelayHeaderField(buffer_.data() + start_);
  frame.text.assign(buffer_.data() + start_ + kRelayHeaderSize, static_cast<size_t>(length));
  start_ += whole;
  if (start_ == end_) start_ = end_ = 0;
  return RelayReadStatus::kOk;
}

}  // namespace strivex
