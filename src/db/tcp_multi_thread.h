#pragma once
// The relay client of one relayed session: a TCP connection to the relay server, a reader thread
// that files every framed reply by request number, and callers that send a request and wait for
// the replies carrying its number. Callers on different threads may wait on one client at once.

#include <sys/uio.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "db/relay_frame_reader.h"

namespace strivex {

// One received reply.
struct RelayMessage {
  int32_t requestNumber = 0;
  int32_t length = 0;
  std::string text;
};

// One lock for the reply lists of all relay clients of the module.
extern std::mutex relayQueueLock;

class TcpMultiThread {
 public:
  enum State : int32_t { kNotStarted = 0, kRunning = 1, kEnded = 2 };

  TcpMultiThread() = default;
  virtual ~TcpMultiThread();
  TcpMultiThread(const TcpMultiThread&) = delete;
  TcpMultiThread& operator=(const TcpMultiThread&) = delete;

  // Takes over a connected socket and starts its reader, ending any previous connection first.
  // Uncollected replies are kept; a `lost` flag left by the previous connection is cleared.
  // False (and nothing started) for an invalid handle.
  bool Start(int socket);
  // Sends bytes as they are (the greeting); true when all of them went out.
  bool SendRaw(std::string_view bytes);
  // Sends the two framed messages of a request in one write. Texts longer than kRelayMaxText
  // are the caller's to refuse; here they fail.
  bool SendRequest(int32_t requestNumber, std::string_view command, std::string_view argument);
  // The text of the oldest reply to `requestNumber`, waiting for it; nothing when the connection
  // has failed or ends before it arrives.
  std::optional<std::string> WaitReply(int32_t requestNumber);
  // Ends the connection: shuts the socket down, joins the reader, closes the socket. Replies
  // already received stay.
  void Close();

  std::atomic<int> socketHandle{-1};
  std::atomic<uint8_t> stop{0};
  std::atomic<int32_t> state{kNotStarted};
  std::atomic<uint8_t> lost{0};

 private:
  void ReadReplies(int socket);
  bool SendAll(const iovec* parts, int count);

  std::list<RelayMessage> replies_;  // under relayQueueLock
  std::condition_variable replyArrived_;  // waited on with relayQueueLock
  std::mutex sendMutex_;  // keeps one request's frames together, and the socket open while used
  std::thread reader_;    // started and joined by the thread that opens and closes
};

}  // namespace strivex
