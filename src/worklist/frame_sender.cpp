#include "worklist/frame_sender.h"

#include <string>

#include "serial/port_serial.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

FrameSender::FrameSender(FrameQueue& queue, PortSerial& port, SentHook onSent,
                         std::chrono::milliseconds retryPeriod, WorkerWatch* workers)
    : queue_(queue), port_(port), onSent_(std::move(onSent)), retryPeriod_(retryPeriod), workers_(workers) {}

bool FrameSender::Start() {
  std::string refusal;
  const bool posted = executor_.Post(
      [this](const SerialExecutor::Token& token) {
        RunWorker(kFrameSenderWorker, [&] { Run(token); }, workers_);
        sending_.store(false);  // a write that failed that way is not going on
      },
      &refusal);
  if (!posted) WriteErrorLogEntry(Format("Lista de lucru: nu pot porni trimiterea cadrelor: %s", refusal.c_str()));
  return posted;
}

void FrameSender::Run(const SerialExecutor::Token& token) {
  // A closed port or a failed write is looked at again every retry period; a new run wakes it.
  do {
    SendWaiting(token);
  } while (token.WaitFor(retryPeriod_));
}

void FrameSender::SendWaiting(const SerialExecutor::Token& token) {
  while (!token.Ending()) {
    std::optional<QueuedFrame> next = queue_.Front();
    if (!next || !port_.IsOpen()) return;
    sending_.store(true);
    const bool written = port_.SendFrame(next->frame);
    sending_.store(false);
    if (!written) {
      if (!failureLogged_ && port_.IsOpen())
        WriteErrorLogEntry(Format("Lista de lucru: cadrul cererii %d nu a putut fi scris pe port; "
                                  "il trimit din nou", next->requestId));
      failureLogged_ = true;
      return;
    }
    failureLogged_ = false;
    queue_.PopFront();
    if (onSent_) onSent_(*next);
  }
}

}  // namespace strivex
