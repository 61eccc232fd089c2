#pragma once
// The work list as the module runs it, from the laboratory's requests to the analyser's line: the
// list read for the dialog, where the next run starts, the confirmed frames waiting for the port,
// their sender and the record of what was sent. The window and the host call it; it calls only
// the server and the port.

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "protocol/records.h"
#include "util/timings.h"
#include "util/worker_failure.h"
#include "worklist/frame_queue.h"
#include "worklist/frame_sender.h"
#include "worklist/work_list_reader.h"
#include "worklist/work_list_server.h"

namespace strivex {

class PortSerial;

class WorkListService {
 public:
  // `server`, `port` and `workers` (where a worker's unexpected failure is told) must outlive the
  // service.
  WorkListService(WorkListServer& server, PortSerial& port, WorkerWatch* workers = nullptr,
                  std::chrono::milliseconds retryPeriod = timings::kFrameResendPeriod);
  WorkListService(const WorkListService&) = delete;
  WorkListService& operator=(const WorkListService&) = delete;

  // Window's thread. Frees the list and reads it again on a worker; `done` is called there when
  // it is ready. False, nothing started, while a read runs.
  bool BeginRead(bool unsentOnly, std::function<void()> done);
  // Window's thread, after `done`: the list read becomes list(); how the read went.
  WorkListRead FinishRead();
  // Waits for a read in progress (the dialog's end, the shutdown before the sessions close).
  void JoinRead() { reader_.Join(); }
  // The requests last read; the window's thread.
  const SampleList& list() const { return list_; }
  // Where the next run starts; kept for the module's life (the window's thread).
  int32_t nextPosition() const { return nextPosition_; }
  int32_t currentDisk() const { return currentDisk_; }

  // A confirmed run: its frames go to the line behind those still waiting, and the next run
  // starts at `nextPosition` on `currentDisk`. Window's thread.
  void Queue(std::vector<QueuedFrame> frames, int32_t nextPosition, int32_t currentDisk);

  // Starts sending the queued frames whenever the port takes them; false (logged) when it cannot.
  bool StartSending() { return sender_.Start(); }
  // The port was opened: frames confirmed while it was closed go out now. Any thread.
  void PortOpened() { sender_.Wake(); }
  // Ends the sending after the frame being written; the frames not sent stay queued.
  void StopSending() { sender_.Stop(); }
  // The module's end: stops the sending and logs how many frames never reached the analyser.
  void Close();

  // For the panel and the status file; any thread.
  bool Reading() const { return reader_.Reading(); }
  size_t FramesWaiting() const { return queue_.Size(); }
  bool Sending() const { return sender_.Sending(); }

 private:
  SampleList list_;
  int32_t nextPosition_ = 1;
  int32_t currentDisk_ = 1;
  WorkListReader reader_;
  FrameQueue queue_;
  FrameSender sender_;  // after the queue, which it drains
};

}  // namespace strivex
