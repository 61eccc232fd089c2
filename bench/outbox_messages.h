#pragma once
// Messages for the outbox benchmarks: one printed page per sample, as the analyser sends it, with a
// request id of the benchmarks' reserved range, and the results the interpreter reads out of it.

#include <cstdint>
#include <string>
#include <vector>

#include "host/module_context.h"
#include "protocol/records.h"

namespace strivex::bench {

// Request ids the outbox benchmarks store on the development server (machine 5 for the module,
// kMachineId for the drain); the clean-up deletes the whole range.
inline constexpr int32_t kOutboxFirstRequestId = 1'900'000'000;
inline constexpr int32_t kOutboxLastRequestId = 1'900'099'999;
// The module's instrument in the development database: its code lists are seeded.
inline constexpr int32_t kModuleMachineId = 5;

// The page of one sample with 12 results; `seed` picks the values.
std::string ReportPage(int32_t requestId, uint64_t seed);

// What the interpreter makes of ReportPage: one sample of 12 results.
SampleList InterpretedPage(int32_t requestId, uint64_t seed);

// The seeded code list of the development database's machine 5 (strip parameters LEU ... COL).
std::vector<InvestigationCodeEntry> StripCodeList();

// To be called before a benchmark stores results of the reserved range, so the clean-up looks.
void NoteOutboxResultsInserted();
bool OutboxResultsInserted();

}  // namespace strivex::bench
