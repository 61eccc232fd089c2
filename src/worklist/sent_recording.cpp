#include "worklist/sent_recording.h"

#include "util/format.h"
#include "util/log_files.h"
#include "worklist/work_list_sent.h"

namespace strivex {

void RecordSentFrame(WorkListServer& server, const QueuedFrame& frame) {
  if (frame.analysisCodes.empty()) return;
  const ServerAnswer recorded = server.Run([&frame](BazaDeDate& session, int32_t machineId) {
    return RecordWorkListSent(session, machineId, frame.requestId, frame.analysisCodes);
  });
  if (!recorded.applied)
    WriteErrorLogEntry(Format("Lista de lucru: cererea %d a fost trimisa analizorului, dar nu a fost "
                              "inregistrata in work_list_sent: %s",
                              frame.requestId, recorded.reason.c_str()));
}

}  // namespace strivex
