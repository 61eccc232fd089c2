#include "worklist/work_list_sent.h"

#include "db/baza_de_date.h"
#include "db/sql_text.h"
#include "util/format.h"

namespace strivex {

std::string WorkListSentInsert(int32_t machineId, int32_t requestId,
                               const std::vector<std::string>& analysisCodes) {
  if (analysisCodes.empty()) return {};
  std::string sql = "INSERT INTO work_list_sent (MachineID, anCode, requestid) VALUES ";
  for (size_t i = 0; i < analysisCodes.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += Format("(%d,'%s',%d)", machineId, EscapeSqlText(analysisCodes[i]).c_str(), requestId);
  }
  return sql;
}

bool RecordWorkListSent(BazaDeDate& session, int32_t machineId, int32_t requestId,
                        const std::vector<std::string>& analysisCodes) {
  if (analysisCodes.empty()) return true;
  return session.SQLCommandApplied(WorkListSentInsert(machineId, requestId, analysisCodes), 0);
}

}  // namespace strivex
