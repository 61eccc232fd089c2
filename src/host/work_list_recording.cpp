#include "host/work_list_recording.h"

#include <mutex>

#include "db/baza_de_date.h"
#include "util/format.h"
#include "util/log_files.h"
#include "worklist/work_list_sent.h"

namespace strivex {

void RecordSentFrame(ModuleContext& context, const QueuedFrame& frame) {
  if (frame.analysisCodes.empty()) return;
  std::string reason;
  {
    std::lock_guard session(context.serverMutex);
    BazaDeDate* server = context.serverSession;
    if (server == nullptr || server->connected.load() != 1) {
      reason = "serverul nu este conectat";
    } else if (!RecordWorkListSent(*server, context.hostMachineId, frame.requestId, frame.analysisCodes)) {
      reason = server->lastErrorText();
    }
  }
  if (!reason.empty())
    WriteErrorLogEntry(Format("Lista de lucru: cererea %d a fost trimisa analizorului, dar nu a fost "
                              "inregistrata in work_list_sent: %s",
                              frame.requestId, reason.c_str()));
}

}  // namespace strivex
