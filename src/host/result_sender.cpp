#include "host/result_sender.h"

#include "db/baza_de_date.h"
#include "db/lab_statements.h"

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
  return ResultInsert(requestId, machineId, ids.investigationId, ids.detailId, value, secondMarker);
}

SendOutcome SendOutboxRow(ServerLink& server, const OutboxRow& row, std::string& serverText) {
  const LinkResult sent = server.Run([&row](ServerLink::Scope& link) {
    const CodeIds ids = MapCodes(link.codes().investigation, row.analysisCode, row.parameterCode);
    // A value the server could not convert is refused like any other, never counted as stored.
    return link.session().SQLCommandApplied(
        ResultStatement(row.requestId, link.machineIds().result, ids, row.value, row.secondMarker), 0);
  });
  serverText = sent.serverText;
  switch (sent.outcome) {
    case LinkOutcome::kApplied:
      return SendOutcome::kStored;
    case LinkOutcome::kRefused:
      return SendOutcome::kRejected;
    default:
      return SendOutcome::kConnectionLost;
  }
}

}  // namespace strivex
