#include "worklist/work_list_sent.h"

#include "db/baza_de_date.h"
#include "db/lab_statements.h"

namespace strivex {

bool RecordWorkListSent(BazaDeDate& session, int32_t machineId, int32_t requestId,
                        const std::vector<std::string>& analysisCodes) {
  if (analysisCodes.empty()) return true;
  return session.SQLCommandApplied(WorkListSentInsert(machineId, requestId, analysisCodes), 0);
}

}  // namespace strivex
