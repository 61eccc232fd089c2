#include "db/tcp_multi_thread.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "db/relay_frame_reader.h"
#include "db/relay_wire.h"

namespace strivex {

std::mutex relayQueueLock;

TcpMultiThread::~TcpMultiThread() {
  Close();
  std::lock_guard lock(relayQueueLock);
  replies_.clear();
}

bool TcpMultiThread::Start(UniqueFd socket) {
  if (!socket.valid()) return false;
  Close();
  {
    // Set here rather than by the reader, so a request sent right after the start can wait.
    std::lock_guard lock(relayQueueLock);
    state_.store(kRunning);
  }
  const int handle = socket.get();
  {
    std::lock_guard lock(sendMutex_);
    socket_ = std::move(socket);
  }
  reader_ = std::thread([this, handle] { ReadReplies(handle); });
  return true;
}

void TcpMultiThread::ReadReplies(int socket) {
  RelayFrameReader reader(socket);
  RelayFrame frame;
  // An empty text is a failure; a length outside what a message holds means the stream can no
  // longer be trusted: either ends the reader.
  while (reader.Next(frame) == RelayReadStatus::kOk) {
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
    state_.store(kEnded);
  }
  replyArrived_.notify_all();
}

std::optional<std::string> TcpMultiThread::WaitReply(int32_t requestNumber,
                                                      std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
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
    // An ended client never answers again, so nobody may wait on it.
    if (state_.load() != kRunning) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) break;
    replyArrived_.wait_until(lock, deadline);
  }
  lock.unlock();
  Abandon();
  return std::nullopt;
}

void TcpMultiThread::Abandon() {
  std::lock_guard lock(sendMutex_);
  if (socket_.valid()) ::shutdown(socket_.get(), SHUT_RDWR);
}

bool TcpMultiThread::SendAll(const iovec* parts, int count) {
  std::vector<iovec> pending(parts, parts + count);
  size_t first = 0;
  if (!socket_.valid()) return false;
  while (first < pending.size()) {
    msghdr header{};
    header.msg_iov = &pending[first];
    header.msg_iovlen = pending.size() - first;
    // A gather write like writev, but a closed peer gives EPIPE rather than SIGPIPE.
    const ssize_t sent = ::sendmsg(socket_.get(), &header, MSG_NOSIGNAL);
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
  const auto commandHeader = RelayFrameHeader(requestNumber, static_cast<int32_t>(command.size()));
  const auto argumentHeader = RelayFrameHeader(requestNumber, static_cast<int32_t>(argument.size()));
  const std::array<iovec, 4> parts{{
      {const_cast<char*>(commandHeader.data()), commandHeader.size()},
      {const_cast<char*>(command.data()), command.size()},
      {const_cast<char*>(argumentHeader.data()), argumentHeader.size()},
      {const_cast<char*>(argument.data()), argument.size()},
  }};
  std::lock_guard lock(sendMutex_);
  return SendAll(parts.data(), static_cast<int>(parts.size()));
}

void TcpMultiThread::Close() {
  if (socket_.valid()) ::shutdown(socket_.get(), SHUT_RDWR);  // wakes the reader out of its receive
  if (reader_.joinable()) reader_.join();
  std::lock_guard lock(sendMutex_);
  socket_.Reset();
}

}  // namespace strivex
