#include "host/work_list_recording.h"

#include "db/baza_de_date.h"
#include "util/format.h"
#include "util/log_files.h"
#include "worklist/work_list_sent.h"

namespace strivex {

void RecordSentFrame(ModuleContext& context, const QueuedFrame& frame) {
  if (frame.analysisCodes.empty()) return;
  std::string reason;
  const LinkResult recorded = context.server.Run([&frame](ServerLink::Scope& link) {
    return RecordWorkListSent(link.session(), link.machineIds().host, frame.requestId, frame.analysisCodes);
  });
  if (recorded.outcome != LinkOutcome::kApplied) {
    reason = recorded.serverText.empty() ? "serverul nu este conectat" : recorded.serverText;
  }
  if (!reason.empty())
    WriteErrorLogEntry(Format("Lista de lucru: cererea %d a fost trimisa analizorului, dar nu a fost "
                              "inregistrata in work_list_sent: %s",
                              frame.requestId, reason.c_str()));
}

}  // namespace strivex
