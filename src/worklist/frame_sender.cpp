#include "worklist/frame_sender.h"

#include <system_error>

#include "serial/port_serial.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

FrameSender::FrameSender(FrameQueue& queue, PortSerial& port, SentHook onSent,
                         std::chrono::milliseconds retryPeriod, WorkerWatch* workers)
    : queue_(queue), port_(port), onSent_(std::move(onSent)), retryPeriod_(retryPeriod), workers_(workers) {}

FrameSender::~FrameSender() { Stop(); }

bool FrameSender::Start() {
  stop_.store(false);
  try {
    thread_ = std::thread([this] {
      RunWorker(kFrameSenderWorker, [this] { Run(); }, workers_);
      sending_.store(false);  // a write that failed that way is not going on
    });
  } catch (const std::system_error& error) {
    WriteErrorLogEntry(Format("Lista de lucru: nu pot porni trimiterea cadrelor: %s", error.what()));
    return false;
  }
  return true;
}

void FrameSender::Stop() {
  stop_.store(true);
  queue_.Changed().Notify();
  if (thread_.joinable()) thread_.join();
}

void FrameSender::Run() {
  while (!stop_.load()) {
    // A closed port or a failed write is looked at again every retry period; a new run wakes it.
    SendWaiting();
    queue_.Changed().WaitFor(retryPeriod_);
  }
}

void FrameSender::SendWaiting() {
  while (!stop_.load()) {
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
