#pragma once
// Marks analyses as sent to the instrument in the laboratory's work_list_sent, so that an
// unsent-only work list does not offer them again.

#include <cstdint>
#include <string>
#include <vector>

#include "db/lab_statements.h"

namespace strivex {

class BazaDeDate;

// Inserts one work_list_sent row (MachineID, anCode, requestid) per code, all in one statement so
// that either every analysis of the frame is recorded or none. False when the server refuses it or
// cannot be reached (the session's lastErrorText and log then say why); true with no codes.
bool RecordWorkListSent(BazaDeDate& session, int32_t machineId, int32_t requestId,
                        const std::vector<std::string>& analysisCodes);

}  // namespace strivex
