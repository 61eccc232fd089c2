#include "host/result_sender.h"

#include <mutex>

#include "db/baza_de_date.h"
#include "db/sql_text.h"
#include "util/format.h"

namespace strivex {

CodeIds MapCodes(const std::vector<InvestigationCodeEntry>& codes, const std::string& analysisCode,
                 const std::string& parameterCode) {
  CodeIds ids;
  for (const InvestigationCodeEntry& entry : codes) {
    if (entry.investigationCode == analysisCode) {
      ids.investigationId = entry.investigationId;
      break;
    }
  }
  for (const InvestigationCodeEntry& entry : codes) {
    if (entry.detailCode == parameterCode) {
      ids.detailId = entry.detailId;
      break;
    }
  }
  return ids;
}

std::string ResultStatement(int32_t requestId, int32_t machineId, CodeIds ids, const std::string& value,
                            const std::string& secondMarker) {
  return Format(" exec L_RESULT_INSERT %d,%d,%d,%d,'%s','%s',1 ", requestId, machineId, ids.investigationId,
                ids.detailId, EscapeSqlText(value).c_str(), EscapeSqlText(secondMarker).c_str());
}

SendOutcome FailureOutcome(BazaDeDate& session, std::string& serverText) {
  serverText = session.lastErrorText();
  if (serverText.empty()) serverText = session.LastErrorMessage();
  if (session.lastFailure() == DbFailure::kConnectionLost || session.connected.load() != 1) {
    return SendOutcome::kConnectionLost;
  }
  return SendOutcome::kRejected;
}

SendOutcome SendOutboxRow(ModuleContext& context, const OutboxRow& row, std::string& serverText) {
  BazaDeDate* session = context.serverSession;
  // Checked before the lock, which the reconnection holds for a whole login.
  if (session == nullptr || session->connected.load() != 1) return SendOutcome::kConnectionLost;
  std::lock_guard lock(context.serverMutex);
  if (session->connected.load() != 1) return SendOutcome::kConnectionLost;
  const CodeIds ids = MapCodes(context.investigationCodes, row.analysisCode, row.parameterCode);
  const std::string statement = ResultStatement(row.requestId, context.resultMachineId, ids, row.value, row.secondMarker);
  // A value the server could not convert is refused like any other, never counted as stored.
  if (session->SQLCommandApplied(statement, 0)) return SendOutcome::kStored;
  const SendOutcome outcome = FailureOutcome(*session, serverText);
  // A dead connection is closed, so that the reconnection opens a new one.
  if (outcome == SendOutcome::kConnectionLost) session->InchidConectie();
  return outcome;
}

}  // namespace strivex
