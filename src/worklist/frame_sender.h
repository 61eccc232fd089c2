#pragma once
// Puts the confirmed work-list frames on the analyser's line, oldest first, on its own executor. A
// frame leaves the queue only once it is on the wire: frames queued while the port is closed, or
// whose write failed, wait and go out when the port is open again.

#include <atomic>
#include <chrono>
#include <functional>

#include "util/serial_executor.h"
#include "util/timings.h"
#include "util/worker_failure.h"
#include "worklist/frame_queue.h"

namespace strivex {

class PortSerial;

class FrameSender {
 public:
  // Called on the sender's thread after a frame was written, to record what was sent.
  using SentHook = std::function<void(const QueuedFrame&)>;

  // `queue` and `port` must outlive the sender, and `workers` (where an unexpected failure of the
  // sending is told; it then stops) when given.
  FrameSender(FrameQueue& queue, PortSerial& port, SentHook onSent,
              std::chrono::milliseconds retryPeriod = timings::kFrameResendPeriod, WorkerWatch* workers = nullptr);
  FrameSender(const FrameSender&) = delete;
  FrameSender& operator=(const FrameSender&) = delete;

  // Starts sending; false (logged) when no thread can be made, the frames then stay queued.
  bool Start();
  // New frames were queued, or the port opened: they go out now rather than at the next retry.
  // Any thread.
  void Wake() { executor_.Wake(); }
  // Ends the sending after the frame being written; the frames not sent stay queued. For good.
  void Stop() { executor_.Stop(); }
  // Whether a frame is being written now; any thread.
  bool Sending() const { return sending_.load(); }

 private:
  void Run(const SerialExecutor::Token& token);
  // Writes the queue's frames while the port takes them; stops at the first that could not be written.
  void SendWaiting(const SerialExecutor::Token& token);

  FrameQueue& queue_;
  PortSerial& port_;
  SentHook onSent_;
  std::chrono::milliseconds retryPeriod_;
  WorkerWatch* workers_;
  std::atomic<bool> sending_{false};
  bool failureLogged_ = false;  // the sender's thread only
  SerialExecutor executor_{kFrameSenderWorker};  // last: its task uses the members above
};

}  // namespace strivex
