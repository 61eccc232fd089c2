#include "db/tcp_multi_thread.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace strivex {

std::mutex relayQueueLock;

namespace {

// The wire is little-endian whatever the host is.
std::array<char, 4> LittleEndian(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
          static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
}

}  // namespace

TcpMultiThread::~TcpMultiThread() {
  Close();
  std::lock_guard lock(relayQueueLock);
  replies_.clear();
}

bool TcpMultiThread::Start(int socket) {
  if (socket < 0) return false;
  Close();
  {
    // Set here rather than by the reader, so a request sent right after the start can wait.
    std::lock_guard lock(relayQueueLock);
    lost.store(0);
    state.store(kRunning);
  }
  socketHandle.store(socket);
  reader_ = std::thread([this, socket] { ReadReplies(socket); });
  return true;
}

void TcpMultiThread::ReadReplies(int socket) {
  RelayFrameReader reader(socket);
  RelayFrame frame;
  // An empty text is a failure; a length outside what a message holds means the stream can no
  // longer be trusted: either ends the reader.
  while (stop.load() == 0 && reader.Next(frame) == RelayReadStatus::kOk) {
    RelayMessage message;
    message.requestNumber = frame.number;
    message.length = static_cast<int32_t>(frame.text.size());
    message.text = std::move(frame.text);
    {
      std::lock_guard lock(relayQueueLock);
      replies_.push_back(std::move(message));
    }
    replyArrived_.notify_all();
  }
  // The peer learns of the failure, and senders fail instead of feeding a dead stream; the
  // handle itself stays open until Close, so no other thread can meet a reused descriptor.
  ::shutdown(socket, SHUT_RDWR);
  {
    std::lock_guard lock(relayQueueLock);
    state.store(kEnded);
    lost.store(1);
  }
  replyArrived_.notify_all();
}

std::optional<std::string> TcpMultiThread::WaitReply(int32_t requestNumber) {
  std::unique_lock lock(relayQueueLock);
  for (;;) {
    // A reply that arrived before the connection ended is still delivered.
    const auto found = std::find_if(replies_.begin(), replies_.end(), [&](const RelayMessage& m) {
      return m.requestNumber == requestNumber;
    });
    if (found != replies_.end()) {
      std::string text = std::move(found->text);
      replies_.erase(found);
      return text;
    }
    // Also when another waiter has already taken the `lost` notice: an ended client never
    // answers again, so nobody may wait on it.
    if (state.load() != kRunning) {
      lost.store(0);
      return std::nullopt;
    }
    replyArrived_.wait(lock);
  }
}

bool TcpMultiThread::SendAll(const iovec* parts, int count) {
  std::vector<iovec> pending(parts, parts + count);
  size_t first = 0;
  const int socket = socketHandle.load();
  if (socket < 0) return false;
  while (first < pending.size()) {
    msghdr header{};
    header.msg_iov = &pending[first];
    header.msg_iovlen = pending.size() - first;
    // A gather write like writev, but a closed peer gives EPIPE rather than SIGPIPE.
    const ssize_t sent = ::sendmsg(socket, &header, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    auto left = static_cast<size_t>(sent);
    while (first < pending.size() && left >= pending[first].iov_len) {
      left -= pending[first].iov_len;
      ++first;
    }
    if (first < pending.size()) {
      pending[first].iov_base = static_cast<char*>(pending[first].iov_base) + left;
      pending[first].iov_len -= left;
    }
  }
  return true;
}

bool TcpMultiThread::SendRaw(std::string_view bytes) {
  std::lock_guard lock(sendMutex_);
  iovec part{const_cast<char*>(bytes.data()), bytes.size()};
  return SendAll(&part, 1);
}

bool TcpMultiThread::SendRequest(int32_t requestNumber, std::string_view command,
                                 std::string_view argument) {
  if (command.size() > static_cast<size_t>(kRelayMaxText) ||
      argument.size() > static_cast<size_t>(kRelayMaxText)) {
    return false;
  }
  const auto number = LittleEndian(requestNumber);
  const auto commandLength = LittleEndian(static_cast<int32_t>(command.size()));
  const auto argumentLength = LittleEndian(static_cast<int32_t>(argument.size()));
  const std::array<iovec, 6> parts{{
      {const_cast<char*>(number.data()), number.size()},
      {const_cast<char*>(commandLength.data()), commandLength.size()},
      {const_cast<char*>(command.data()), command.size()},
      {const_cast<char*>(number.data()), number.size()},
      {const_cast<char*>(argumentLength.data()), argumentLength.size()},
      {const_cast<char*>(argument.data()), argument.size()},
  }};
  std::lock_guard lock(sendMutex_);
  return SendAll(parts.data(), static_cast<int>(parts.size()));
}

void TcpMultiThread::Close() {
  const int socket = socketHandle.load();
  if (socket >= 0) ::shutdown(socket, SHUT_RDWR);  // wakes the reader out of its receive
  if (reader_.joinable()) reader_.join();
  std::lock_guard lock(sendMutex_);
  const int owned = socketHandle.exchange(-1);
  if (owned >= 0) ::close(owned);
}

}  // namespace strivex
