#pragma once
// The relay client of one relayed session: a TCP connection to the relay server, a reader thread
// that files every framed reply by request number, and callers that send a request and wait for
// the replies carrying its number. Callers on different threads may wait on one client at once.

#include <sys/uio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "util/unique_fd.h"

namespace strivex {

// One received reply: the number of the request it answers and its text.
struct RelayMessage {
  int32_t requestNumber = 0;
  int32_t length = 0;  // of the text
  std::string text;
};

// One lock for the reply lists of all relay clients of the module.
extern std::mutex relayQueueLock;

class TcpMultiThread {
 public:
  TcpMultiThread() = default;  // not connected: sends fail and waits return at once
  // Ends the connection as Close does and drops the uncollected replies.
  virtual ~TcpMultiThread();
  TcpMultiThread(const TcpMultiThread&) = delete;
  TcpMultiThread& operator=(const TcpMultiThread&) = delete;

  // Takes over a connected socket and starts its reader, ending any previous connection first.
  // Uncollected replies are kept. False (and nothing started) for an invalid socket. Start and
  // Close are called by one thread at a time (the one that opens and closes the session).
  bool Start(UniqueFd socket);
  // Sends bytes as they are (the greeting); true when all of them went out. Any thread.
  bool SendRaw(std::string_view bytes);
  // Sends the two frames of a request in one gather write; false when the connection is not
  // there or fails, or a text exceeds kRelayMaxText (the caller's to refuse first). Any thread.
  bool SendRequest(int32_t requestNumber, std::string_view command, std::string_view argument);
  // The text of the oldest reply to `requestNumber`, waiting at most `patience` for it; nothing
  // when the connection has failed or ends before it arrives, or the time runs out, which ends
  // the connection (a late reply would be nobody's). Any thread.
  std::optional<std::string> WaitReply(int32_t requestNumber, std::chrono::milliseconds patience);
  // Ends the connection: shuts the socket down, joins the reader, closes the socket. Replies
  // already received stay.
  void Close();
  // Shuts the socket down so the reader ends and every waiter and sender fails; the socket is
  // closed by Close. Any thread.
  void Abandon();

 private:
  enum State : int32_t { kNotStarted = 0, kRunning = 1, kEnded = 2 };

  void ReadReplies(int socket);
  bool SendAll(const iovec* parts, int count);

  // Written by Start and Close under sendMutex_; Close reads it unlocked to shut a blocked
  // sender's socket down, which is safe as only the opening thread ever writes it.
  UniqueFd socket_;
  std::atomic<int32_t> state_{kNotStarted};  // changed under relayQueueLock
  std::list<RelayMessage> replies_;          // under relayQueueLock
  std::condition_variable replyArrived_;     // waited on with relayQueueLock
  std::mutex sendMutex_;  // keeps one request's frames together, and the socket open while used
  std::thread reader_;    // started and joined by the thread that opens and closes
};

}  // namespace strivex
