#pragma once
// One result to the laboratory's server: its codes mapped to the server's ids with the code list
// of the moment, the L_RESULT_INSERT statement, and what the server made of it.

#include <cstdint>
#include <string>
#include <vector>

#include "host/server_link.h"
#include "outbox/outbox_row.h"
#include "outbox/retry_rules.h"

namespace strivex {

struct CodeIds {
  int32_t investigationId = 0;
  int32_t detailId = 0;
};

// The first entry with the analysis code gives the investigation; the parameter code is matched
// against every detail code of the list. 0 where nothing matches.
CodeIds MapCodes(const std::vector<InvestigationCodeEntry>& codes, const std::string& analysisCode,
                 const std::string& parameterCode);

// " exec L_RESULT_INSERT %d,%d,%d,%d,'%s','%s',1 " with both texts escaped.
std::string ResultStatement(int32_t requestId, int32_t machineId, CodeIds ids, const std::string& value,
                            const std::string& secondMarker);

// Sends one outbox row on the module's server link. kConnectionLost without trying when the
// session is not connected.
SendOutcome SendOutboxRow(ServerLink& server, const OutboxRow& row, std::string& serverText);

}  // namespace strivex
