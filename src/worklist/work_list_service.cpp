#include "worklist/work_list_service.h"

#include "util/format.h"
#include "util/log_files.h"
#include "worklist/sent_recording.h"

namespace strivex {

WorkListService::WorkListService(WorkListServer& server, PortSerial& port, WorkerWatch* workers,
                                 std::chrono::milliseconds retryPeriod)
    : reader_(server),
      sender_(
          queue_, port, [&server](const QueuedFrame& frame) { RecordSentFrame(server, frame); }, retryPeriod,
          workers) {}

bool WorkListService::BeginRead(bool unsentOnly, std::function<void()> done) {
  if (reader_.Busy()) return false;
  list_.clear();
  return reader_.Begin(unsentOnly, std::move(done));
}

WorkListRead WorkListService::FinishRead() { return reader_.Finish(list_); }

void WorkListService::Queue(std::vector<QueuedFrame> frames, int32_t nextPosition, int32_t currentDisk) {
  nextPosition_ = nextPosition;
  currentDisk_ = currentDisk;
  if (frames.empty()) return;
  queue_.Append(std::move(frames));
  sender_.Wake();
}

void WorkListService::Close() {
  sender_.Stop();
  // Frames not yet written end with the module, as the run they came from was never started.
  if (const size_t unsent = queue_.Size(); unsent > 0)
    WriteErrorLogEntry(Format("Lista de lucru: %d cadre netrimise analizorului la inchiderea modulului",
                              static_cast<int>(unsent)));
}

}  // namespace strivex
